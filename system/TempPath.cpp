#include "system/TempPath.h"

#include <windows.h>
#include <wininet.h>

void BuildTempFilePath(wchar_t (&path)[kTempPathSize], const wchar_t* fileName)
{
    // MAX_PATH + 1: Microsoft's documented largest answer, a full path and its trailing backslash.
    wchar_t directory[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, directory);
    if (length > MAX_PATH)
        directory[0] = L'\0';  // too long for the buffer: nothing was written
    lstrcpynW(path, directory, kTempPathSize);
    const int used = lstrlenW(path);
    lstrcpynW(path + used, fileName, static_cast<int>(kTempPathSize) - used);
}

void DiscardStaleCopy(const wchar_t* url, const wchar_t* path, PathFileExistsFn fileExists)
{
    DeleteUrlCacheEntryW(url);
    if (fileExists && fileExists(path))
        DeleteFileW(path);
}
