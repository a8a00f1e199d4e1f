#pragma once

#include "framework/AfxHandle.h"

class CDownloadCallback;

// Ends the download that `callback` receives once nothing has arrived for
// kDownloadSilenceLimitMs, so that a server, proxy or link that goes silent
// ends as a failed download instead of a dialog that waits forever. Made on
// the download's own thread just before the download call and gone right
// after it: it acts only while that call runs.
class CDownloadWatchdog {
public:
    explicit CDownloadWatchdog(CDownloadCallback& callback);

private:
    CDownloadWatchdog(const CDownloadWatchdog&) = delete;
    CDownloadWatchdog& operator=(const CDownloadWatchdog&) = delete;

    // Declared in this order so that the timer, which pokes the window, goes first.
    CUniqueWindow m_hWindow;
    CUniqueQueueTimer m_hTimer;
};
