#include "system/TempPath.h"

#include "system/ModuleLookUp.h"

#include <windows.h>
#include <wininet.h>

namespace {

typedef DWORD(WINAPI* GetTempPathFn)(DWORD, LPWSTR);

// GetTempPath2W answers SYSTEM a folder that only SYSTEM may use, and every
// other account what GetTempPathW answers (Microsoft documents both). Only
// newer systems have it, so it is looked up.
GetTempPathFn TempPathFunction()
{
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const GetTempPathFn newer = kernel ? LookUp<GetTempPathFn>(kernel, "GetTempPath2W") : nullptr;
    return newer ? newer : GetTempPathW;
}

}  // namespace

void BuildTempFilePath(wchar_t (&path)[kTempPathSize], const wchar_t* fileName)
{
    // MAX_PATH + 1: Microsoft's documented largest answer, a full path and its trailing backslash.
    wchar_t directory[MAX_PATH + 1] = {};
    const DWORD length = TempPathFunction()(MAX_PATH + 1, directory);
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

bool IsSoleLinkFile(HANDLE file, BY_HANDLE_FILE_INFORMATION& information)
{
    return GetFileInformationByHandle(file, &information) && information.nNumberOfLinks == 1 &&
           !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

CUniqueFile CreateOwnFile(const wchar_t* path, DWORD access, DWORD share)
{
    // Deleting a link removes that name only, never what it reaches.
    DeleteFileW(path);
    // CREATE_NEW fails on any name that is taken again meanwhile, a
    // symbolic link included; the flag keeps one from being followed.
    CUniqueFile file(CreateFileW(path, access, share, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (file.IsValid() && !IsSoleLinkFile(file.Get(), information)) {
        file.Reset();
        SetLastError(ERROR_ALREADY_EXISTS);
    }
    return file;
}
