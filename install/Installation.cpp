#include "install/Installation.h"

#include "framework/AfxSync.h"
#include "install/DownloadCallback.h"
#include "install/DownloadLimits.h"
#include "install/InstallStatus.h"
#include "install/SignatureCheck.h"
#include "system/Launch.h"
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

// What the download worker wrote, for the check that its STATUS_DOWNLOAD_DONE
// sets off on the dialog's thread. Written by the worker under g_csWorker
// before g_bSetupDownloaded is set, and read only while it is set, which is
// only while that report is sent: a report of the same code from anywhere
// else finds nothing to check.
struct DownloadedSetup {
    FileIdentity identity;
    bool hashed;          // whether `sha256` holds the digest of every byte written
    uint8_t sha256[32];
};
DownloadedSetup g_downloadedSetup;
volatile LONG g_bSetupDownloaded = 0;

void SendStatus(HWND dialog, InstallStatus status)
{
    SendMessageW(dialog, WM_INSTALL_STATUS, status, 0);
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
    // A pin that nothing can match refuses the setup before a byte of it is fetched.
    if (job.pins.sizeMalformed)
        LogLine("setup refused: the manifest's size value is not a count of bytes");
    if (job.pins.sha256Malformed)
        LogLine("setup refused: the manifest's sha256 value \"%hs\" is not 64 hex digits", job.pins.sha256Text);
    if (!callback.IsValid() || job.pins.sizeMalformed || job.pins.sha256Malformed) {
        SendStatus(job.hDialog, STATUS_DOWNLOAD_FAILED);
        return 0;
    }
    const CDownloadCallback& download = *callback.Get();
    // Hashed as it is written: nothing but this download can change the
    // file from its creation to the setup's end, so these are the bytes
    // that run, and the check after the last byte costs nothing.
    CSha256* const digest = job.pins.hasSha256 ? &g_pPartialSetup->digest : nullptr;
    const BodyBound bound = job.pins.hasSize ? BodyBound{job.pins.size, true} : kAnyLength;
    HRESULT result = callback.Get()->Download(job.szUrl, job.szSetupPath, g_pPartialSetup, bound, digest);
    // How the download began and how it ended, as the support desk reads them.
    static const wchar_t* const kEndings[] = {L"", L", aborted after 30 s without data", L", ended early at %lu of %lu",
                                              L", answer refused", L", over the manifest's size %lu",
                                              L", 4 GiB or more announced"};
    static_assert(sizeof(kEndings) / sizeof(kEndings[0]) == END_UNCOUNTABLE + 1, "one ending per end, in its order");
    const DownloadEnd end = download.End();
    wchar_t began[48];
    wchar_t ending[64];
    wsprintfW(began, download.ResumedAt() ? L"resumed at %lu of %lu" : L"whole", download.ResumedAt(),
              download.Total());
    wsprintfW(ending, kEndings[end], end == END_OVER_SIZE ? job.pins.size : download.Received(), download.Total());
    LogLine("setup download from %s: %s, result 0x%08lx, HTTP status %lu, %lu bytes in %lu ms%s", job.szUrl,
            began, result, download.HttpStatus(), download.BytesWritten(), GetTickCount() - started, ending);
    if (SUCCEEDED(result)) {
        g_downloadedSetup.hashed = digest && digest->Finish(g_downloadedSetup.sha256);
        if (!download.WrittenFile(g_downloadedSetup.identity))
            result = E_FAIL;
    }
    // Only a whole answer of the length it promised, within the pinned
    // size, is done; an error page or a body cut short never reaches the check.
    InterlockedExchange(&g_bSetupDownloaded, SUCCEEDED(result));
    SendStatus(job.hDialog, SUCCEEDED(result) ? STATUS_DOWNLOAD_DONE : STATUS_DOWNLOAD_FAILED);
    InterlockedExchange(&g_bSetupDownloaded, 0);
    return 0;
}

}  // namespace

bool StartSetupDownload(const SetupDownloadJob& job)
{
    return StartWorker(DownloadSetup, &job, sizeof(job));
}

// Step 2: the hold and the check, on the dialog's thread.

namespace {

// Whether the setup is the file the manifest pins, when it pins one, by
// the digest taken as it was written.
bool MatchesPinnedDigest(const SetupPins& pins)
{
    if (!pins.hasSha256)
        return true;
    if (!g_downloadedSetup.hashed) {
        LogLine("setup refused: its SHA-256 could not be taken");
        return false;
    }
    char text[65];
    FormatSha256(g_downloadedSetup.sha256, text);
    if (memcmp(g_downloadedSetup.sha256, pins.sha256, sizeof(pins.sha256)) != 0) {
        LogLine("setup refused: SHA-256 %hs, the manifest pins %hs", text, pins.sha256Text);
        return false;
    }
    LogLine("setup SHA-256 %hs matches the manifest's pin", text);
    return true;
}

}  // namespace

HoldOutcome HoldVerifiedSetup(const wchar_t* setupPath, const SetupPins& pins, CUniqueFile& held)
{
    if (!InterlockedCompareExchange(&g_bSetupDownloaded, 0, 0)) {
        LogLine("setup not checked: no download has just ended");
        return HOLD_NOT_DOWNLOADED;
    }
    // Held from before the check until the setup has ended: others may read
    // it, but nobody can write, delete or rename it, so the bytes that were
    // verified are the bytes that run.
    CUniqueFile setup = OpenWrittenFile(setupPath, g_downloadedSetup.identity, "setup");
    if (!setup.IsValid())
        return HOLD_NOT_DOWNLOADED;
    if (!MatchesPinnedDigest(pins) || !VerifySetupSignature(setupPath, setup.Get()) ||
        !IsCurrentSetup(setupPath, pins.offeredVersion))
        return HOLD_REFUSED;
    held = static_cast<CUniqueFile&&>(setup);
    return HOLD_VERIFIED;
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
    LogLine("starting the setup");
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
