#include "ui/Workers.h"

#include "framework/AfxHandle.h"
#include "framework/AfxSync.h"
#include "res/resource.h"
#include "system/DownloadLimits.h"
#include "system/Launch.h"
#include "system/TempPath.h"
#include "ui/DownloadWatchdog.h"
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

CDownloadCallback::CDownloadCallback(HWND progressBar)
    : m_hProgress(progressBar), m_dwLastReport(GetTickCount()), m_bAborted(false)
{
}

void CDownloadCallback::AbortIfSilent(DWORD nowTick)
{
    if (m_bAborted || !m_pBinding.IsValid() || !HasGoneSilent(m_dwLastReport, nowTick))
        return;
    m_bAborted = true;
    m_pBinding.Get()->Abort();
}

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

STDMETHODIMP CDownloadCallback::OnStartBinding(DWORD, IBinding* binding)
{
    if (!binding)
        return E_INVALIDARG;
    binding->AddRef();
    m_pBinding.Reset(binding);
    return S_OK;
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
    // First: the send below lets this thread run a watchdog tick meanwhile.
    m_dwLastReport = GetTickCount();
    if (g_bCancel != 0)
        return E_ABORT;
    SendMessageA(m_hProgress, PBM_SETPOS, static_cast<WPARAM>(ProgressPercent(progress, progressMax)), 0);
    return S_OK;
}

STDMETHODIMP CDownloadCallback::OnStopBinding(HRESULT, LPCWSTR)
{
    // The binding must not be aborted once it has stopped.
    m_pBinding.Reset();
    return S_OK;
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

    wchar_t path[kTempPathSize];
    BuildTempFilePath(path, kSetupFileName);
    DiscardStaleCopy(view.szUrl, path, view.pfnPathFileExists);

    HRESULT result;
    {
        // Gone before the status is sent: that send lets this thread run a pending tick.
        const CDownloadWatchdog watchdog(callback);
        result = URLDownloadToFileW(nullptr, view.szUrl, path, 0, &callback);
    }
    SendStatus(view.hDialog, SUCCEEDED(result) ? STATUS_DOWNLOAD_DONE : STATUS_DOWNLOAD_FAILED);
    return 0;
}

unsigned __stdcall InstallThreadProc(void* dialog)
{
    CCriticalSectionLock lock(g_csWorker);
    CWorkerView view;
    if (!CInstallDlg::TakeWorkerView(dialog, true, view))
        return 0;

    wchar_t path[kTempPathSize];
    BuildTempFilePath(path, kSetupFileName);

    // On behalf of the dialog, which is alive for the whole run and which the
    // customer has just seen in front, so that the elevation prompt comes to
    // the front too.
    const CUniqueHandle setup = LaunchWithShell(view.pszVerb, path, L"/S", view.hDialog);
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
