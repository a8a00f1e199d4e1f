#include "ui/Workers.h"

#include "res/resource.h"
#include "system/Launch.h"
#include "system/RunLog.h"
#include "ui/DownloadCallback.h"
#include "ui/InstallDlg.h"
#include "ui/InstallStatus.h"
#include "ui/SignatureCheck.h"

CProcessCriticalSection g_csWorker;

namespace {

void SendStatus(HWND dialog, InstallStatus status)
{
    SendMessageA(dialog, WM_INSTALL_STATUS, status, 0);
}

// Opens the downloaded setup for reading with read sharing only: others may
// open it to read or run it (Windows' loader maps a program's file with read
// access, and the setup reads itself back the same way), but no one may open
// it to write, delete or rename it while this handle is open. A fresh
// download is often opened for a moment by others (a virus scanner, say),
// which makes the open fail with a sharing violation; that is retried for a
// short while before the file counts as unusable.
HANDLE OpenSetupWithReadSharing(const wchar_t* path)
{
    const int kAttempts = 20;
    const DWORD kPauseMs = 100;
    for (int attempt = 1;; ++attempt) {
        HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION || attempt == kAttempts)
            return file;
        Sleep(kPauseMs);
    }
}

}  // namespace

unsigned __stdcall DownloadThreadProc(void* dialog)
{
    CCriticalSectionLock lock(g_csWorker);
    CDownloadHandOff handOff;
    if (!CInstallDlg::TakeDownloadHandOff(dialog, handOff))
        return 0;

    // Before the apartment, so that it outlives it: leaving the apartment may
    // still deliver a notification of the binding.
    CDownloadCallback callback(handOff.hProgress);
    const CComApartment apartment;
    ShowWindow(GetDlgItem(handOff.hDialog, IDOK), SW_HIDE);
    ShowWindow(GetDlgItem(handOff.hDialog, IDCANCEL), SW_HIDE);
    SendStatus(handOff.hDialog, STATUS_DOWNLOAD_STARTED);

    wchar_t path[kTempPathSize];
    BuildTempFilePath(path, kSetupFileName);
    DiscardStaleCopy(handOff.szUrl, path, handOff.pfnPathFileExists);

    const DWORD started = GetTickCount();
    const HRESULT result = callback.Download(handOff.szUrl, path);
    LogLine("setup download from %s: result 0x%08lx, HTTP status %lu, %lu bytes in %lu ms%hs", handOff.szUrl,
            result, callback.HttpStatus(), callback.BytesWritten(), GetTickCount() - started,
            callback.EndedBySilence() ? ", aborted after 30 s without data" : "");
    // A failed, aborted or silent download fails here; what a "successful"
    // one saved (an error page, a body cut short) the check refuses.
    SendStatus(handOff.hDialog, SUCCEEDED(result) ? STATUS_DOWNLOAD_DONE : STATUS_DOWNLOAD_FAILED);
    return 0;
}

CUniqueFile HoldVerifiedSetup()
{
    wchar_t path[kTempPathSize];
    BuildTempFilePath(path, kSetupFileName);
    // Held from before the check until the setup has ended: others may read
    // it, but nobody can write, delete or rename it, so the bytes that were
    // verified are the bytes that run.
    CUniqueFile setup(OpenSetupWithReadSharing(path));
    if (!setup.IsValid()) {
        LogLine("setup not held open: error %lu", GetLastError());
        return CUniqueFile();
    }
    if (!VerifySetupSignature(path))
        return CUniqueFile();
    return setup;
}

unsigned __stdcall InstallThreadProc(void* dialog)
{
    CCriticalSectionLock lock(g_csWorker);
    CRunnerHandOff handOff;
    if (!CInstallDlg::TakeRunnerHandOff(dialog, handOff))
        return 0;

    wchar_t path[kTempPathSize];
    BuildTempFilePath(path, kSetupFileName);

    // On behalf of the dialog, which is alive for the whole run and which the
    // customer has just seen in front, so that the elevation prompt comes to
    // the front too.
    const CUniqueHandle setup = LaunchWithShell(handOff.pszVerb, path, L"/S", handOff.hDialog);

    // Not started (or refused elevation), not ended, or ended with an error: failed.
    InstallStatus outcome = STATUS_INSTALL_FAILED;
    if (setup.IsValid()) {
        WaitForSingleObject(setup.Get(), INFINITE);
        DWORD exitCode = 1;
        if (GetExitCodeProcess(setup.Get(), &exitCode)) {
            LogLine("the setup ended with exit code %lu", exitCode);
            if (exitCode == 0)
                outcome = STATUS_INSTALL_DONE;
        } else {
            LogLine("setup exit code unread: error %lu", GetLastError());
        }
    }
    // Held until the setup has ended: a running program's file can still be
    // renamed, and a self-extracting setup reads its payload back by its own
    // path, so a file put in its place meanwhile would be installed with the
    // setup's rights. Released before the status, so that a Retry's download
    // can replace the file.
    handOff.hVerifiedSetup.Reset();
    SendStatus(handOff.hDialog, outcome);
    return 0;
}
