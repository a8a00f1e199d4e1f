#include "InstallerApp.h"

#include "InstallerConfig.h"
#include "TempPath.h"

#include <windows.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>

const char kManifestUrl[] = "https://" INSTALLER_SERVER_HOST ":8443/pweb/download/da_razi_update.ini";

namespace {

const DWORD kAddressBufferSize = 512;

}  // namespace

bool CInstallerApp::FetchUpdateManifest(char (&version)[kVersionBufferSize])
{
    char path[kTempPathSize];
    BuildTempFilePath(path, kManifestFileName);

    // Straight to the server, never a cached copy, and never a manifest that
    // an earlier run left behind.
    DeleteUrlCacheEntryA(kManifestUrl);
    if (PathFileExistsA(path))
        DeleteFileA(path);

    if (FAILED(URLDownloadToFileA(nullptr, kManifestUrl, path, 0, nullptr)))
        return false;

    const DWORD versionLength = GetPrivateProfileStringA("version", "version", nullptr, version,
                                                         kVersionBufferSize, path);
    if (versionLength < 1 || versionLength > kVersionBufferSize)
        return false;

    char address[kAddressBufferSize] = {};
    const DWORD addressLength = GetPrivateProfileStringA("download", "address", nullptr, address,
                                                         kAddressBufferSize, path);
    if (addressLength < 1 || addressLength > kAddressBufferSize)
        return false;

    m_strDownloadUrl = address;
    return true;
}
