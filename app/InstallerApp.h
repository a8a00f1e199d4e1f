#pragma once

#include "AfxString.h"
#include "AfxWin.h"
#include "MessageSet.h"

// Version texts are kept in buffers of this size, so at most 31 characters.
const unsigned int kVersionBufferSize = 32;

// The installer: the whole run happens inside InitInstance.
class CInstallerApp : public CWinApp, public MessageSet {
public:
    CInstallerApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

    // Downloads the update manifest and reads the offered version into
    // `version` and the setup's address into m_strDownloadUrl. False, with
    // m_strDownloadUrl unchanged, when either step fails.
    bool FetchUpdateManifest(char (&version)[kVersionBufferSize]);

    // The installed product's version; false when there is none that fits
    // `*size` bytes. The buffer is always left terminated.
    bool ReadInstalledVersion(char* buffer, DWORD* size) const;

    HANDLE m_hMutex;             // single-instance guard, null until created
    CString m_strDownloadUrl;    // setup address from the manifest
};

extern CInstallerApp theApp;

// Marks a running installer; only its existence counts.
extern const char kSingleInstanceMutexName[];
// Where the manifest comes from: the one build value is the host.
extern const char kManifestUrl[];
