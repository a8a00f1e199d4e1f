#pragma once

#include "framework/AfxHandle.h"

#include <windows.h>
#include <urlmon.h>

// 1 once the user has asked to leave (Exit sets it); the download stops at
// its next report, or within a second. Set back to 0 by the dialog whenever
// it starts a download.
extern volatile LONG g_bCancel;

// Downloads one address into one file and moves the progress bar meanwhile.
// A COM object on the heap with a real reference count: the binding holds
// a reference of its own and may use it until it lets it go, also after
// Download has returned on the abort path; the last Release frees it.
class CDownloadCallback : public IBindStatusCallback, public IHttpNegotiate {
public:
    // A new callback holding one reference, the caller's; none when memory
    // is short.
    static CUniqueInterface<CDownloadCallback> Create(HWND progressBar);

    // Downloads `url` into the file at `path` on this thread, which must be
    // in a COM apartment. The file is created anew once the first bytes
    // arrive (or the answer ends empty), so a download that gets nothing
    // leaves none; whatever stood at `path` is removed, never written
    // through, and others may read the file meanwhile but not write it. Returns once the binding has stopped, with its result: a
    // failure when it failed, was aborted (Exit, or nothing arrived for the
    // silence limit) or the file could not be written. The file is closed on
    // return. With no progress bar (null) it moves none.
    HRESULT Download(const wchar_t* url, const wchar_t* path);

    // One look of the download's wait at `nowTick` (GetTickCount): aborts
    // the binding, once, when the user has left, the file could not be
    // written or nothing has arrived for the silence limit. Whether the wait
    // goes on: not once the binding has stopped, nor when there was no
    // binding to abort or an aborted one has not stopped within another
    // limit.
    bool KeepWaiting(DWORD nowTick);

    // For the log: the HTTP status of the answer (0 before one), the bytes
    // written to the file (modulo 4 GiB), and whether the download was
    // aborted because nothing had arrived for the limit.
    DWORD HttpStatus() const { return m_dwHttpStatus; }
    DWORD BytesWritten() const { return m_dwBytesWritten; }
    bool EndedBySilence() const { return m_bEndedBySilence; }

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
    // Asks for nothing; only reads the answer's status.
    STDMETHOD(BeginningTransaction)(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) override;
    STDMETHOD(OnResponse)(DWORD status, LPCWSTR, LPCWSTR, LPWSTR* additionalHeaders) override;

private:
    explicit CDownloadCallback(HWND progressBar);
    ~CDownloadCallback() = default;  // by the last Release only

    // Creates the file at m_pszPath; false, with m_hrWrite set, when it cannot.
    bool CreateTargetFile();

    volatile LONG m_nReferences;

    // The bar's window, copied from the dialog: the callback may run after
    // the dialog object has gone.
    HWND m_hProgress;
    CUniqueInterface<IBinding> m_pBinding;  // from the binding's start to its stop
    const wchar_t* m_pszPath;               // where Download writes, while it runs
    CUniqueFile m_hFile;                    // the file being written, from its first bytes
    int32_t m_nShownPercent;                // the position last sent to the bar; -1 before the first
    DWORD m_dwLastReport;                   // GetTickCount at the start or the last report
    DWORD m_dwAbortTick;                    // GetTickCount at the abort
    HRESULT m_hrWrite;                      // the first failure to write the file, or S_OK
    HRESULT m_hrStop;                       // what the binding stopped with
    DWORD m_dwHttpStatus;
    DWORD m_dwBytesWritten;
    bool m_bEndedBySilence;
    bool m_bAborted;
    bool m_bStopped;
};
