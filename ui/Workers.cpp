#include "Workers.h"

#include "AfxSync.h"

#include "InstallDlg.h"
#include "InstallStatus.h"
#include "ProgressPercent.h"
#include "TempPath.h"
#include "resource.h"

#include <shellapi.h>
#include <wininet.h>

#include <cstring>

CRITICAL_SECTION g_csWorker;
volatile LONG g_bCancel = 0;

namespace {

// A COM apartment for the current thread, for the download service.
class CComApartment {
public:
    CComApartment() { CoInitialize(nullptr); }
    ~CComApartment() { CoUninitialize(); }

private:
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;
};

void SendStatus(HWND dialog, InstallStatus status)
{
    SendMessageA(dialog, WM_INSTALL_STATUS, status, 0);
}

}  // namespace

STDMETHODIMP CDownloadCallback::QueryInterface(REFIID, void**)
{
    return E_NOTIMPL;
}

STDMETHODIMP_(ULONG) CDownloadCallback::AddRef()
{
    return 0;
}

STDMETHODIMP_(ULONG) CDownloadCallback::Release()
{
    return 0;
}

STDMETHODIMP CDownloadCallback::OnStartBinding(DWORD, IBinding*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDownloadCallback::GetPriority(LONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDownloadCallback::OnLowResource(DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDownloadCallback::OnProgress(ULONG progress, ULONG progressMax, ULONG, LPCWSTR)
{
    if (g_bCancel != 0)
        return E_ABORT;
    SendMessageA(m_hProgress, PBM_SETPOS, static_cast<WPARAM>(ProgressPercent(progress, progressMax)), 0);
    return S_OK;
}

STDMETHODIMP CDownloadCallback::OnStopBinding(HRESULT, LPCWSTR)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDownloadCallback::GetBindInfo(DWORD*, BINDINFO*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDownloadCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDownloadCallback::OnObjectAvailable(REFIID, IUnknown*)
{
    return E_NOTIMPL;
}

unsigned __stdcall DownloadThreadProc(void* dialog)
{
    CCriticalSectionLock lock(g_csWorker);
    CComApartment apartment;
    CWorkerView view;
    if (!CInstallDlg::TakeWorkerView(dialog, false, view))
        return 0;

    CDownloadCallback callback(view.hProgress);
    ShowWindow(GetDlgItem(view.hDialog, IDOK), SW_HIDE);
    ShowWindow(GetDlgItem(view.hDialog, IDCANCEL), SW_HIDE);
    SendStatus(view.hDialog, STATUS_DOWNLOAD_STARTED);

    char path[kTempPathSize];
    BuildTempFilePath(path, kSetupFileName);
    // A fresh copy from the server, never a cached one or an old file.
    DeleteUrlCacheEntryA(view.szUrl);
    if (view.pfnPathFileExists && view.pfnPathFileExists(path))
        DeleteFileA(path);

    const HRESULT result = URLDownloadToFileA(nullptr, view.szUrl, path, 0, &callback);
    SendStatus(view.hDialog, SUCCEEDED(result) ? STATUS_DOWNLOAD_DONE : STATUS_DOWNLOAD_FAILED);
    return 0;
}

unsigned __stdcall InstallThreadProc(void* dialog)
{
    CCriticalSectionLock lock(g_csWorker);
    CWorkerView view;
    if (!CInstallDlg::TakeWorkerView(dialog, true, view))
        return 0;

    char path[kTempPathSize];
    BuildTempFilePath(path, kSetupFileName);

    SHELLEXECUTEINFOA request;
    std::memset(&request, 0, sizeof(request));
    request.cbSize = sizeof(request);
    // FLAG_NO_UI: a failed start is reported on the status line, not by a
    // box of the shell's own.
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    request.lpVerb = view.pszVerb;
    request.lpFile = path;
    request.lpParameters = "/S";
    request.nShow = SW_SHOW;
    const BOOL started = ShellExecuteExA(&request);
    // The setup process has the file open now, or will never run: either way
    // the verified bytes no longer need guarding.
    if (view.hVerifiedSetup)
        CloseHandle(view.hVerifiedSetup);

    InstallStatus outcome = STATUS_INSTALL_FAILED;
    if (started && request.hProcess) {
        WaitForSingleObject(request.hProcess, INFINITE);
        DWORD exitCode = 1;
        if (GetExitCodeProcess(request.hProcess, &exitCode) && exitCode == 0)
            outcome = STATUS_INSTALL_DONE;
        CloseHandle(request.hProcess);
    }
    SendStatus(view.hDialog, outcome);
    return 0;
}
