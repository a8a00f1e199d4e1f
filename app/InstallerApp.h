#pragma once

#include "AfxString.h"
#include "AfxWin.h"
#include "MessageSet.h"

// The installer: the whole run happens inside InitInstance.
class CInstallerApp : public CWinApp, public MessageSet {
public:
    CInstallerApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

    HANDLE m_hMutex;             // single-instance guard, null until created
    CString m_strDownloadUrl;    // setup address from the manifest
};

extern CInstallerApp theApp;

// Marks a running installer; only its existence counts.
extern const char kSingleInstanceMutexName[];
