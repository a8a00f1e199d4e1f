#include "install/Installation.h"

#include "framework/AfxSync.h"
#include "install/DownloadCallback.h"
#include "install/DownloadLimits.h"
#include "install/InstallStatus.h"
#include "install/SignatureCheck.h"
#include "system/Launch.h"
#include "system/FileDigest.h"
#include "system/Probes.h"
#include "system/RunLog.h"

#include <new>

namespace {

// Held by each worker for its whole run, so that two never overlap; the
// dialog's thread never takes it. Never deleted: a worker may still enter
// it after the dialog has gone.
CProcessCriticalSection g_csWorker;

// 1 from the start of a setup run until its runner has let the setup's file
// go, still holding g_csWorker.
volatile LONG g_bSetupRunning = 0;

// A setup download of this run that ended early, for Retry to go on from;
// made on first use and touched only under g_csWorker. Never destroyed: a
// worker may still hold it while the process ends.
PartialDownload* g_pPartialSetup = nullptr;
alignas(PartialDownload) unsigned char g_partialSetupStorage[sizeof(PartialDownload)];

void SendStatus(HWND dialog, InstallStatus status)
{
    SendMessageA(dialog, WM_INSTALL_STATUS, status, 0);
}

bool HasUserLeft()
{
    return g_bCancel != 0;
}

}  // namespace

// Step 1: the download.

namespace {

unsigned __stdcall DownloadSetup(void* handedJob)
{
    const CUniqueLocal ownedJob(handedJob);
    const SetupDownloadJob& job = *static_cast<const SetupDownloadJob*>(handedJob);
    CCriticalSectionLock lock(g_csWorker);
    if (HasUserLeft())
        return 0;

    // Before the apartment, so that this reference outlives it: leaving the
    // apartment may still deliver a notification of the binding.
    const CUniqueInterface<CDownloadCallback> callback = CDownloadCallback::Create(job.hProgress);
    const CComApartment apartment;
    ShowWindow(GetDlgItem(job.hDialog, IDOK), SW_HIDE);
    ShowWindow(GetDlgItem(job.hDialog, IDCANCEL), SW_HIDE);
    SendStatus(job.hDialog, STATUS_DOWNLOAD_STARTED);

    if (!g_pPartialSetup)
        g_pPartialSetup = new (g_partialSetupStorage) PartialDownload();
    // The partial file is held open: nothing else can stand at its name.
    if (!g_pPartialSetup->file.IsValid())
        DiscardStaleCopy(job.szUrl, job.szSetupPath, job.pfnPathFileExists);

    // The log line names the silence limit as the support desk reads it.
    static_assert(kDownloadSilenceLimitMs == 30000, "say the new limit in the line below");
    const DWORD started = GetTickCount();
    if (!callback.IsValid() || job.pins.sizeMalformed) {
        if (job.pins.sizeMalformed)
            LogLine("setup refused: the manifest's size value is not a count of bytes");
        SendStatus(job.hDialog, STATUS_DOWNLOAD_FAILED);
        return 0;
    }
    const CDownloadCallback& download = *callback.Get();
    const HRESULT result = callback.Get()->Download(job.szUrl, job.szSetupPath, g_pPartialSetup,
                                                    job.pins.hasSize ? job.pins.size : kNoSizeLimit);
    // How the download began and how it ended, as the support desk reads them.
    static const char* const kEndings[] = {"", ", aborted after 30 s without data", ", ended early at %lu of %lu",
                                           ", answer refused", ", over the manifest's size %lu"};
    static_assert(sizeof(kEndings) / sizeof(kEndings[0]) == END_OVER_SIZE + 1, "one ending per end, in its order");
    const DownloadEnd end = download.End();
    char began[48];
    char ending[64];
    wsprintfA(began, download.ResumedAt() ? "resumed at %lu of %lu" : "whole", download.ResumedAt(), download.Total());
    wsprintfA(ending, kEndings[end], end == END_OVER_SIZE ? job.pins.size : download.Received(), download.Total());
    LogLine("setup download from %s: %hs, result 0x%08lx, HTTP status %lu, %lu bytes in %lu ms%hs", job.szUrl,
            began, result, download.HttpStatus(), download.BytesWritten(), GetTickCount() - started, ending);
    // Only a whole answer of the length it promised, within the pinned
    // size, is done; an error page or a body cut short never reaches the check.
    SendStatus(job.hDialog, SUCCEEDED(result) ? STATUS_DOWNLOAD_DONE : STATUS_DOWNLOAD_FAILED);
    return 0;
}

}  // namespace

bool StartSetupDownload(const SetupDownloadJob& job)
{
    return StartWorker(DownloadSetup, &job, sizeof(job));
}

// Step 2: the hold and the check, on the dialog's thread.

namespace {

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

namespace {

// Whether the held setup is the file the manifest pins, when it pins one.
bool MatchesPinnedDigest(HANDLE setup, const SetupPins& pins)
{
    if (!pins.hasSha256)
        return true;
    if (pins.sha256Malformed) {
        LogLine("setup refused: the manifest's sha256 value \"%hs\" is not 64 hex digits", pins.sha256Text);
        return false;
    }
    const DWORD started = GetTickCount();
    uint8_t digest[32];
    if (!Sha256OfFile(setup, digest)) {
        LogLine("setup refused: its SHA-256 could not be taken, error %lu", GetLastError());
        return false;
    }
    char text[65];
    FormatSha256(digest, text);
    if (memcmp(digest, pins.sha256, sizeof(digest)) != 0) {
        LogLine("setup refused: SHA-256 %hs, the manifest pins %hs", text, pins.sha256Text);
        return false;
    }
    LogLine("setup SHA-256 %hs matches the manifest's pin in %lu ms", text, GetTickCount() - started);
    return true;
}

}  // namespace

CUniqueFile HoldVerifiedSetup(const wchar_t* setupPath, const SetupPins& pins)
{
    // Held from before the check until the setup has ended: others may read
    // it, but nobody can write, delete or rename it, so the bytes that were
    // verified are the bytes that run.
    CUniqueFile setup(OpenSetupWithReadSharing(setupPath));
    if (!setup.IsValid()) {
        LogLine("setup not held open: error %lu", GetLastError());
        return CUniqueFile();
    }
    if (!MatchesPinnedDigest(setup.Get(), pins) || !VerifySetupSignature(setupPath))
        return CUniqueFile();
    return setup;
}

// Step 3: the setup's run.

namespace {

// What the setup runner is handed: the verified setup's handle is the
// runner's from the moment it starts.
struct SetupRunJob {
    HWND hDialog;
    HANDLE hVerifiedSetup;
    const char* pszVerb;
    wchar_t szSetupPath[kTempPathSize];
};

unsigned __stdcall RunSetup(void* handedJob)
{
    const CUniqueLocal ownedJob(handedJob);
    const SetupRunJob& job = *static_cast<const SetupRunJob*>(handedJob);
    // Held until the setup has ended: a running program's file can still be
    // renamed, and a self-extracting setup reads its payload back by its own
    // path, so a file put in its place meanwhile would be installed with the
    // setup's rights.
    CUniqueFile verifiedSetup(job.hVerifiedSetup);
    CCriticalSectionLock lock(g_csWorker);
    if (HasUserLeft())
        return 0;

    // On behalf of the dialog, which is alive for the whole run and which the
    // customer has just seen in front, so that the elevation prompt comes to
    // the front too.
    const CUniqueHandle setup = LaunchWithShell(job.pszVerb, job.szSetupPath, L"/S", job.hDialog);

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
    // Released before the status, so that a Retry's download can replace the file.
    verifiedSetup.Reset();
    InterlockedExchange(&g_bSetupRunning, 0);
    SendStatus(job.hDialog, outcome);
    return 0;
}

}  // namespace

bool StartSetupRun(HWND dialog, CUniqueFile& verifiedSetup, const wchar_t* setupPath)
{
    SetupRunJob job = {dialog, verifiedSetup.Get(), GetLaunchVerb(), {}};
    lstrcpynW(job.szSetupPath, setupPath, kTempPathSize);
    // Before the runner exists: a process that ends meanwhile waits for it.
    InterlockedExchange(&g_bSetupRunning, 1);
    if (!StartWorker(RunSetup, &job, sizeof(job))) {
        // No runner: the end of the process has no setup to wait for.
        InterlockedExchange(&g_bSetupRunning, 0);
        return false;
    }
    // The runner owns it now: this copy of its value is only forgotten.
    verifiedSetup.Release();
    return true;
}

void AwaitSetupEnd()
{
    if (!g_bSetupRunning)
        return;
    LogLine("waiting for the setup to end");
    // The runner holds the lock until it has let the file go; the dialog
    // has gone, so nothing waits for this thread. A runner that has not yet
    // taken the lock finds the user gone and launches nothing. No time
    // bound: the setup's own run is the bound, and ending sooner would let
    // go of the verified file while the setup still reads it.
    const CCriticalSectionLock lock(g_csWorker);
}
