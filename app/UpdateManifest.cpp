#include "app/UpdateManifest.h"

#include "app/ManifestCheck.h"
#include "framework/AfxHandle.h"
#include "generated/InstallerConfig.h"
#include "install/DownloadCallback.h"
#include "install/DownloadLimits.h"
#include "system/Launch.h"
#include "system/RunLog.h"
#include "system/TempPath.h"

#include <shlwapi.h>

namespace {

// The one build value is the host.
const wchar_t kManifestUrl[] = L"https://" INSTALLER_SERVER_HOST ":8443/pweb/download/da_razi_update.ini";

// Where the manifest is fetched to, in the temporary directory.
const wchar_t kManifestFileName[] = L"\\ZIDEVADID.INI";

const DWORD kAddressBufferSize = 512;

// A manifest is a few hundred bytes: a server that sends more, or without
// end, fills no customer's disk.
constexpr BodyBound kManifestBound = {65536, false};

// What the fetching thread reports. Static, because a fetch that overruns
// is abandoned to the end of the process, which follows at once.
HRESULT g_hrManifestFetch;
DWORD g_dwManifestHttpStatus;
DownloadEnd g_manifestEnd;
FileIdentity g_manifestWritten;
bool g_bManifestWritten;

unsigned __stdcall FetchManifestThread(void*)
{
    // The setup's download, without a bar: bound on documented contracts,
    // no copy left in the download cache, and the answer's HTTP status.
    const CUniqueInterface<CDownloadCallback> download = CDownloadCallback::Create(nullptr);
    const CComApartment apartment;
    if (!download.IsValid())
        return 0;
    wchar_t path[kTempPathSize];
    BuildTempFilePath(path, kManifestFileName);
    g_hrManifestFetch = download.Get()->Download(kManifestUrl, path, nullptr, kManifestBound);
    g_dwManifestHttpStatus = download.Get()->HttpStatus();
    g_manifestEnd = download.Get()->End();
    g_bManifestWritten = download.Get()->WrittenFile(g_manifestWritten);
    return 0;
}

// Downloads the manifest to its temporary file within kManifestTimeoutMs;
// false on any failure or when the time is up.
bool DownloadManifest()
{
    g_hrManifestFetch = E_FAIL;
    const CUniqueHandle thread = StartThread(FetchManifestThread, nullptr);
    if (!thread.IsValid() || WaitForSingleObject(thread.Get(), kManifestTimeoutMs) != WAIT_OBJECT_0) {
        LogLine("manifest %s: no answer within %lu s", kManifestUrl, kManifestTimeoutMs / 1000);
        return false;
    }
    const bool overBound = g_manifestEnd == END_OVER_SIZE || g_manifestEnd == END_UNCOUNTABLE;
    LogLine("manifest %s: download result 0x%08lx, HTTP status %lu%hs", kManifestUrl, g_hrManifestFetch,
            g_dwManifestHttpStatus, overBound ? ", longer than its bound of 65536 bytes" : "");
    static_assert(kManifestBound.most == 65536, "say the new bound in the line above");
    return SUCCEEDED(g_hrManifestFetch) && g_bManifestWritten;
}

// Reads the value `key` of `section` from the manifest at `path` into `value`
// of `size` bytes, as 8-bit text in the system's ANSI code page, cut to fit
// at a whole character; its length, 0 when absent or empty. The wide reader
// takes the wide path; its text comes back as the ANSI reader would give it.
DWORD ReadManifestValue(const wchar_t* path, const wchar_t* section, const wchar_t* key, char* value, int size)
{
    wchar_t wide[kAddressBufferSize] = {};
    int length = static_cast<int>(GetPrivateProfileStringW(section, key, nullptr, wide, size, path));
    // A character may take two bytes: drop characters from the end until the rest fits.
    while (length > 0 && WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr) >= size)
        --length;
    const int written = length > 0 ? WideCharToMultiByte(CP_ACP, 0, wide, length, value, size - 1, nullptr, nullptr)
                                   : 0;
    value[written] = '\0';
    return static_cast<DWORD>(written);
}

}  // namespace

bool FetchUpdateManifest(char (&version)[kVersionBufferSize], CString& downloadUrl, SetupPins& pins)
{
    wchar_t path[kTempPathSize];
    BuildTempFilePath(path, kManifestFileName);
    DiscardStaleCopy(kManifestUrl, path, PathFileExistsW);
    return DownloadManifest() && ReadUpdateManifest(path, g_manifestWritten, version, downloadUrl, pins);
}

bool ReadUpdateManifest(const wchar_t* path, const FileIdentity& written, char (&version)[kVersionBufferSize],
                        CString& downloadUrl, SetupPins& pins)
{
    // Held with read sharing only while its values are read, and only if it
    // is still the file the download wrote: nothing can change, rename or
    // replace it meanwhile. The profile reader reads files on read-only
    // media, which no handle may open to write, so it opens them to read.
    const CUniqueFile held = OpenWrittenFile(path, written, "manifest");
    if (!held.IsValid() || !IsManifestSignedAsRequired(held.Get()))
        return false;
    // An error page saved in its place (a 404, a proxy's refusal) has neither value.
    if (ReadManifestValue(path, L"version", L"version", version, kVersionBufferSize) == 0) {
        LogLine("manifest refused: no [version] version value");
        return false;
    }
    char address[kAddressBufferSize] = {};
    if (ReadManifestValue(path, L"download", L"address", address, kAddressBufferSize) == 0) {
        LogLine("manifest refused: no [download] address value");
        return false;
    }
    LogLine("manifest offers version \"%hs\" at %hs", version, address);
    // Room for one character more than a digest or a count, so that a longer
    // value is not cut into a well-formed one.
    char sha256[sizeof(pins.sha256Text)] = {};
    char size[24] = {};
    ReadManifestValue(path, L"download", L"sha256", sha256, sizeof(sha256));
    ReadManifestValue(path, L"download", L"size", size, sizeof(size));
    ParseSetupPins(sha256, size, pins);
    lstrcpynA(pins.offeredVersion, version, sizeof(pins.offeredVersion));
    if (pins.hasSha256 || pins.hasSize)
        LogLine("manifest pins the setup: sha256 \"%hs\", size \"%hs\"", sha256, size);

    downloadUrl = address;
    return true;
}
