#pragma once

#include <windows.h>
#include <urlmon.h>

// Held by each worker for its whole run, so that two never overlap. Never
// deleted: a worker may still enter it after the dialog has gone.
extern CRITICAL_SECTION g_csWorker;
// 1 once the user has asked to leave; the download stops at its next report.
extern volatile LONG g_bCancel;

// Thread entries for StartThread; the argument is the CInstallDlg.
unsigned __stdcall DownloadThreadProc(void* dialog);
unsigned __stdcall InstallThreadProc(void* dialog);

// Receives the download's progress; lives on the worker's stack and is
// never reference-counted.
class CDownloadCallback : public IBindStatusCallback {
public:
    explicit CDownloadCallback(HWND progressBar) : m_hProgress(progressBar) {}

    STDMETHOD(QueryInterface)(REFIID, void**) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(OnStartBinding)(DWORD, IBinding*) override;
    STDMETHOD(GetPriority)(LONG*) override;
    STDMETHOD(OnLowResource)(DWORD) override;
    STDMETHOD(OnProgress)(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR statusText) override;
    STDMETHOD(OnStopBinding)(HRESULT, LPCWSTR) override;
    STDMETHOD(GetBindInfo)(DWORD*, BINDINFO*) override;
    STDMETHOD(OnDataAvailable)(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override;
    STDMETHOD(OnObjectAvailable)(REFIID, IUnknown*) override;

private:
    // The bar's window, copied from the dialog: the callback may run after
    // the dialog object has gone.
    HWND m_hProgress;
};
