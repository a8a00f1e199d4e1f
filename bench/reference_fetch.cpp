// The reference for the installer's timings: downloads one URL with
// URLDownloadToFileA, no callback, after dropping the system's cached copy
// and the file as the installer does (each download would otherwise leave
// one more copy in the cache, and the two programs' runs differ by it).
// Given a command too, it then starts that through the shell the way the
// installer starts its assistant (elevation asked as on Vista and later, the
// shell's error box off, no waiting), so that an up-to-date start is
// compared with the same work done plainly.
//
//   reference_fetch URL FILE [COMMAND]
#include <windows.h>
#include <shellapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <cstdio>
#include <cstring>

namespace {

bool StartWithoutWaiting(const char* command)
{
    SHELLEXECUTEINFOA request;
    std::memset(&request, 0, sizeof(request));
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    request.lpVerb = "runas";
    request.lpFile = command;
    request.nShow = SW_SHOW;
    if (!ShellExecuteExA(&request))
        return false;
    if (request.hProcess)
        CloseHandle(request.hProcess);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: reference_fetch URL FILE [COMMAND]\n");
        return 2;
    }
    CoInitialize(nullptr);
    DeleteUrlCacheEntryA(argv[1]);
    DeleteFileA(argv[2]);
    const HRESULT result = URLDownloadToFileA(nullptr, argv[1], argv[2], 0, nullptr);
    CoUninitialize();
    if (FAILED(result))
        return 1;
    if (argc == 4 && !StartWithoutWaiting(argv[3]))
        return 3;
    return 0;
}
