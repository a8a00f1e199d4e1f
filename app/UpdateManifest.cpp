#include "InstallerApp.h"

#include "InstallerConfig.h"
#include "TempPath.h"

#include <windows.h>
#include <process.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>

const char kManifestUrl[] = "https://" INSTALLER_SERVER_HOST ":8443/pweb/download/da_razi_update.ini";

namespace {

const DWORD kAddressBufferSize = 512;

// The download service has no time limit of its own on every system: a
// server that stops sending (or a reset it does not notice) would keep the
// program waiting forever with nothing on screen. The manifest is a few
// hundred bytes, so a fetch that takes this long has failed.
const DWORD kManifestTimeoutMs = 20000;

// What the fetching thread works on. Static, because a fetch that overruns
// is abandoned to the end of the process, which follows at once.
struct ManifestFetch {
    char path[kTempPathSize];
    HRESULT result;
};
ManifestFetch g_manifestFetch;

unsigned __stdcall FetchManifestThread(void*)
{
    CoInitialize(nullptr);
    g_manifestFetch.result = URLDownloadToFileA(nullptr, kManifestUrl, g_manifestFetch.path, 0, nullptr);
    CoUninitialize();
    return 0;
}

// Downloads the manifest to `path` within kManifestTimeoutMs; false on any
// failure or when the time is up.
bool DownloadManifest(const char* path)
{
    lstrcpynA(g_manifestFetch.path, path, sizeof(g_manifestFetch.path));
    g_manifestFetch.result = E_FAIL;
    unsigned threadId = 0;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, FetchManifestThread, nullptr, 0, &threadId));
    if (!thread)
        return false;
    const bool finished = WaitForSingleObject(thread, kManifestTimeoutMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return finished && SUCCEEDED(g_manifestFetch.result);
}

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

    if (!DownloadManifest(path))
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
