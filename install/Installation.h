#pragma once

#include "app/SetupPins.h"
#include "framework/AfxHandle.h"
#include "system/TempPath.h"

#include <windows.h>

// The installation, in its order: a worker downloads the setup and reports;
// the dialog's thread holds the downloaded file and checks its signature;
// a worker runs the held setup and reports. The dialog starts each step and
// shows what each reports (WM_INSTALL_STATUS, install/InstallStatus.h).
//
// A worker may outlive the dialog (Exit ends the modal run at once; only
// the end of the process waits, and only for a running setup), so each is
// handed its own copy of what it
// needs when it starts, never touches the dialog object, and only sends to
// the dialog's window: a window that has gone is harmless to send to. Two
// workers never overlap. A worker that begins after the user has left does
// nothing.

// What the download worker is handed.
struct SetupDownloadJob {
    HWND hDialog;
    HWND hProgress;
    wchar_t szUrl[512];  // as the ANSI download functions would read it
    wchar_t szSetupPath[kTempPathSize];
    PathFileExistsFn pfnPathFileExists;  // or none; valid while the process runs: shlwapi is also imported
    SetupPins pins;                      // what the manifest pins of the setup
};

// Step 1: starts the worker that downloads the setup to its path, after
// hiding Retry and Exit and reporting STATUS_DOWNLOAD_STARTED, and reports
// STATUS_DOWNLOAD_DONE or STATUS_DOWNLOAD_FAILED. A download of this run
// that ended early is gone on from where it stopped, when the server still
// has that version. False when it could not be started.
bool StartSetupDownload(const SetupDownloadJob& job);

// What the check of the downloaded setup found.
enum HoldOutcome {
    HOLD_VERIFIED,        // held, and its digest and signature accepted
    HOLD_NOT_DOWNLOADED,  // not the file the download wrote, or it cannot be held: the download failed
    HOLD_REFUSED,         // its digest differs from the pin (or could not be taken), its signature is
                          // refused, or it is older than the offer
};

// Step 2, on the dialog's thread while the download worker reports
// STATUS_DOWNLOAD_DONE: opens the downloaded setup again so that nobody can
// change, rename or delete it while it is held, only if it is still the
// file that download wrote, then checks the SHA-256 taken of its bytes as
// they were written against the one `pins` may name, the held file's
// signature, and its own version against the offered one. On HOLD_VERIFIED
// the held file goes to `held`.
HoldOutcome HoldVerifiedSetup(const wchar_t* setupPath, const SetupPins& pins, CUniqueFile& held);

// Step 3: starts the worker that runs the held setup silently and elevated,
// on behalf of `dialog`, waits for it and reports STATUS_INSTALL_DONE or
// STATUS_INSTALL_FAILED. The worker takes `verifiedSetup` over and holds it
// until the setup has ended; when the worker could not be started, false,
// and the file stays the caller's.
bool StartSetupRun(HWND dialog, CUniqueFile& verifiedSetup, const wchar_t* setupPath);

// Before the process ends: returns once no setup started by StartSetupRun
// still runs. Exit closes the dialog at once, but the runner must go on
// holding the verified file (and the process its single-instance guard)
// until the setup has ended.
void AwaitSetupEnd();
