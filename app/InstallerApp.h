#pragma once

#include "app/SetupPins.h"
#include "framework/AfxHandle.h"
#include "framework/AfxString.h"
#include "framework/AfxWin.h"
#include "ui/MessageSet.h"

// The installer: the whole run happens inside InitInstance.
class CInstallerApp : public CWinApp, public MessageSet {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

    // The installed product's version; false when there is none that fits
    // `*size` bytes. The buffer is always left terminated.
    bool ReadInstalledVersion(char* buffer, DWORD* size) const;

    CUniqueHandle m_hMutex;      // single-instance guard, none until created
    CString m_strDownloadUrl;    // setup address from the manifest
    SetupPins m_setupPins;       // what the manifest pins of the setup
};

extern CInstallerApp theApp;

// Marks a running installer; only its existence counts.
extern const wchar_t kSingleInstanceMutexName[];
