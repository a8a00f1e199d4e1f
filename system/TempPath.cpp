#include "system/TempPath.h"

#include <windows.h>
#include <wininet.h>

#include <cstring>

// The product's fixed names; after the directory's own backslash they make a "\\", which Windows reads as one.
const char kManifestFileName[] = "\\ZIDEVADID.INI";
const char kSetupFileName[] = "\\ZIDEVADID.EXE";

void BuildTempFilePath(char (&path)[kTempPathSize], const char* fileName)
{
    char directory[MAX_PATH] = {};
    const DWORD length = GetTempPathA(MAX_PATH, directory);
    if (length >= MAX_PATH)
        directory[0] = '\0';  // too long for the buffer: nothing was written
    std::memset(path, 0, sizeof(path));
    lstrcpynA(path, directory, kTempPathSize);
    const size_t used = std::strlen(path);
    lstrcpynA(path + used, fileName, static_cast<int>(kTempPathSize - used));
}

void DiscardStaleCopy(const char* url, const char* path, PathFileExistsFn fileExists)
{
    DeleteUrlCacheEntryA(url);
    if (fileExists && fileExists(path))
        DeleteFileA(path);
}
