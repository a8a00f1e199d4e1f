#pragma once

#include "framework/AfxString.h"

// The texts shown in message boxes and written into the install dialog, all
// in the one language that the system's default language chose.
struct MessageSet {
    CString m_strTitle;
    CString m_strNoServer;
    CString m_strConnecting;
    CString m_strSystemError;
    CString m_strDownloading;
    CString m_strDownloadFailed;
    CString m_strVerifyFailed;
    CString m_strInstalled;
    CString m_strInstalling;
    CString m_strCannotElevate;
    CString m_strNeedAdminPassword;
    CString m_strRetry;
    CString m_strExit;
    CString m_strFinish;
};
