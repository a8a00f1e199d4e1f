#include "TempPath.h"

#include <windows.h>

#include <cstring>

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
