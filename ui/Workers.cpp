#include "ui/Workers.h"

#include "framework/AfxHandle.h"
#include "framework/AfxSync.h"
#include "res/resource.h"
#include "system/Launch.h"
#include "system/TempPath.h"
#include "ui/InstallDlg.h"
#include "ui/InstallStatus.h"
#include "ui/ProgressPercent.h"

#include <commctrl.h>

CRITICAL_SECTION g_csWorker;
volatile LONG g_bCancel = 0;

namespace {

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
    const CComApartment apartment;
    CWorkerView view;
    if (!CInstallDlg::TakeWorkerView(dialog, false, view))
        return 0;

    CDownloadCallback callback(view.hProgress);
    ShowWindow(GetDlgItem(view.hDialog, IDOK), SW_HIDE);
    ShowWindow(GetDlgItem(view.hDialog, IDCANCEL), SW_HIDE);
    SendStatus(view.hDialog, STATUS_DOWNLOAD_STARTED);

    char path[kTempPathSize];
    BuildTempFilePath(path, kSetupFileName);
    DiscardStaleCopy(view.szUrl, path, view.pfnPathFileExists);

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

    const CUniqueHandle setup = LaunchWithShell(view.pszVerb, path, "/S");
    // The setup process has the file open now, or will never run: either way
    // the verified bytes no longer need guarding.
    view.hVerifiedSetup.Reset();

    InstallStatus outcome = STATUS_INSTALL_FAILED;
    if (setup.IsValid()) {
        WaitForSingleObject(setup.Get(), INFINITE);
        DWORD exitCode = 1;
        if (GetExitCodeProcess(setup.Get(), &exitCode) && exitCode == 0)
            outcome = STATUS_INSTALL_DONE;
    }
    SendStatus(view.hDialog, outcome);
    return 0;
}
