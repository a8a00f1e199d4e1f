#include "app/UpdateManifest.h"

#include "framework/AfxHandle.h"
#include "generated/InstallerConfig.h"
#include "system/DownloadLimits.h"
#include "system/Launch.h"
#include "system/TempPath.h"

#include <shlwapi.h>
#include <urlmon.h>

namespace {

// The one build value is the host.
const char kManifestUrl[] = "https://" INSTALLER_SERVER_HOST ":8443/pweb/download/da_razi_update.ini";

const DWORD kAddressBufferSize = 512;

// What the fetching thread works on. Static, because a fetch that overruns
// is abandoned to the end of the process, which follows at once.
struct ManifestFetch {
    char path[kTempPathSize];
    HRESULT result;
};
ManifestFetch g_manifestFetch;

unsigned __stdcall FetchManifestThread(void*)
{
    const CComApartment apartment;
    g_manifestFetch.result = URLDownloadToFileA(nullptr, kManifestUrl, g_manifestFetch.path, 0, nullptr);
    return 0;
}

// Downloads the manifest to `path` within kManifestTimeoutMs; false on any
// failure or when the time is up.
bool DownloadManifest(const char* path)
{
    lstrcpynA(g_manifestFetch.path, path, sizeof(g_manifestFetch.path));
    g_manifestFetch.result = E_FAIL;
    const CUniqueHandle thread = StartThread(FetchManifestThread, nullptr);
    return thread.IsValid() && WaitForSingleObject(thread.Get(), kManifestTimeoutMs) == WAIT_OBJECT_0 &&
           SUCCEEDED(g_manifestFetch.result);
}

}  // namespace

bool FetchUpdateManifest(char (&version)[kVersionBufferSize], CString& downloadUrl)
{
    char path[kTempPathSize];
    BuildTempFilePath(path, kManifestFileName);
    DiscardStaleCopy(kManifestUrl, path, PathFileExistsA);
    if (!DownloadManifest(path))
        return false;

    // The reader answers the length it copied, cut to fit: 0 means absent or empty.
    if (GetPrivateProfileStringA("version", "version", nullptr, version, kVersionBufferSize, path) == 0)
        return false;
    char address[kAddressBufferSize] = {};
    if (GetPrivateProfileStringA("download", "address", nullptr, address, kAddressBufferSize, path) == 0)
        return false;

    downloadUrl = address;
    return true;
}
