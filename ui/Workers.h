#pragma once

#include "framework/AfxHandle.h"
#include "framework/AfxSync.h"
#include "system/TempPath.h"

#include <windows.h>

// The installation's three steps, from the download to the setup's run:
// the download worker, the check of what it fetched (on the dialog's
// thread) and the setup runner. The dialog starts each and shows what each
// reports.

// Held by each worker for its whole run, so that two never overlap; the
// dialog's thread never takes it. A worker may still enter it after the
// dialog has gone.
extern CProcessCriticalSection g_csWorker;

// What the download worker takes of the dialog as it starts. A worker may
// outlive the dialog (Exit ends the modal run at once and nobody waits for
// a worker), so it works on its own copy and never touches the dialog
// object afterwards; a window that has gone is harmless to send to.
struct CDownloadHandOff {
    HWND hDialog = nullptr;
    HWND hProgress = nullptr;
    wchar_t szUrl[512] = {};  // as the ANSI download functions would read it
    PathFileExistsFn pfnPathFileExists = nullptr;  // valid while the process runs: shlwapi is also imported
};

// What the setup runner takes of the dialog as it starts: besides the window,
// the verified setup, held open, which the runner holds until the setup ends.
struct CRunnerHandOff {
    HWND hDialog = nullptr;
    CUniqueFile hVerifiedSetup;
    const char* pszVerb = nullptr;
};

// Step 1, a thread entry for StartThread; the argument is the CInstallDlg.
// Downloads the setup into the temporary folder and reports
// STATUS_DOWNLOAD_DONE or STATUS_DOWNLOAD_FAILED.
unsigned __stdcall DownloadThreadProc(void* dialog);

// Step 2, on the dialog's thread once the download is done: opens the
// downloaded setup so that nobody can change, rename or delete it while it
// is held, then checks its signature. The held file, or none when it cannot
// be held or its signature is refused.
CUniqueFile HoldVerifiedSetup();

// Step 3, a thread entry for StartThread; the argument is the CInstallDlg.
// Runs the held setup silently and elevated, waits for it and reports
// STATUS_INSTALL_DONE or STATUS_INSTALL_FAILED.
unsigned __stdcall InstallThreadProc(void* dialog);
