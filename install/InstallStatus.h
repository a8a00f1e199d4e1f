#pragma once

// The private message by which the workers report to the install dialog:
// wParam carries the status code, lParam is 0. Always sent, never posted.
const unsigned int WM_INSTALL_STATUS = 0x0400 + 1999;  // WM_USER + 1999

enum InstallStatus {
    STATUS_DOWNLOAD_FAILED = 2,
    STATUS_DOWNLOAD_DONE = 3,
    STATUS_DOWNLOAD_STARTED = 4,
    STATUS_INSTALL_FAILED = 5,
    STATUS_INSTALL_DONE = 6,
};
