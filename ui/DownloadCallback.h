#pragma once

#include "framework/AfxHandle.h"

#include <windows.h>
#include <urlmon.h>

// 1 once the user has asked to leave (Exit sets it); the download stops at
// its next report. Set back to 0 by the dialog whenever it starts a download.
extern volatile LONG g_bCancel;

// Receives the download's progress; lives on the worker's stack and is
// never reference-counted. It keeps the binding, so that a download that
// has gone silent can be aborted.
class CDownloadCallback : public IBindStatusCallback {
public:
    explicit CDownloadCallback(HWND progressBar);

    // Aborts the download when nothing has arrived for the silence limit by
    // `nowTick` (GetTickCount). Only on the download's own thread, which
    // owns the binding; once at most.
    void AbortIfSilent(DWORD nowTick);

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
    CUniqueInterface<IBinding> m_pBinding;  // from the binding's start to its stop
    int32_t m_nShownPercent;                // the position last sent to the bar; -1 before the first
    DWORD m_dwLastReport;                   // GetTickCount at the start or the last report
    bool m_bAborted;
};
