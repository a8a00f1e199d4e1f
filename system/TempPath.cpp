#include "system/TempPath.h"

#include "system/ModuleLookUp.h"
#include "system/RunLog.h"

#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>
#include <wininet.h>

namespace {

typedef DWORD(WINAPI* GetTempPathFn)(DWORD, LPWSTR);

// GetTempPath2W answers SYSTEM a folder that only SYSTEM may use, and every
// other account what GetTempPathW answers (Microsoft documents both). Only
// newer systems have it, so it is looked up.
GetTempPathFn TempPathFunction()
{
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
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

namespace {

// A descriptor whose access list admits this process's user, the
// administrators (an elevated setup may run as another one and reads itself
// back) and SYSTEM, each with all access, and nobody else. "P" protects the
// list from the folder's inheritable entries: a C:\Temp made under the
// drive's root passes on "Authenticated Users: Modify". Made by
// ConvertStringSecurityDescriptorToSecurityDescriptorW, which hands out a
// self-relative descriptor to be freed with LocalFree; none when any step
// fails.
CUniqueLocal OwnFileSecurity()
{
    CUniqueHandle token;
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } account;
    DWORD size = 0;
    LPWSTR sidText = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()) ||
        !GetTokenInformation(token.Get(), TokenUser, &account, sizeof(account), &size) ||
        !ConvertSidToStringSidW(account.user.User.Sid, &sidText))
        return CUniqueLocal();
    const CUniqueLocal ownedSidText(sidText);
    // A SID of the most sub-authorities takes under 200 characters.
    wchar_t text[256];
    wnsprintfW(text, 256, L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;%s)", sidText);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor, nullptr);
    return CUniqueLocal(descriptor);
}

}  // namespace

CUniqueFile CreateOwnFile(const wchar_t* path, DWORD access, DWORD share)
{
    // Given at creation, the descriptor applies from the file's first
    // moment: no other account ever holds a handle to it.
    const CUniqueLocal descriptor = OwnFileSecurity();
    if (!descriptor.IsValid())
        return CUniqueFile();
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor.Get(), FALSE};
    // Deleting a link removes that name only, never what it reaches.
    DeleteFileW(path);
    // CREATE_NEW fails on any name that is taken again meanwhile, a
    // symbolic link included; the flag keeps one from being followed.
    CUniqueFile file(CreateFileW(path, access, share, &security, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (file.IsValid() && !IsSoleLinkFile(file.Get(), information)) {
        file.Reset();
        SetLastError(ERROR_ALREADY_EXISTS);
    }
    return file;
}

bool ReadFileIdentity(HANDLE file, FileIdentity& identity)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information))
        return false;
    // The volume's serial number with the file's index tells one file on one
    // machine from every other (BY_HANDLE_FILE_INFORMATION). Only ReFS,
    // never a system drive's file system, has indexes of 128 bits.
    identity.volumeSerial = information.dwVolumeSerialNumber;
    identity.indexHigh = information.nFileIndexHigh;
    identity.indexLow = information.nFileIndexLow;
    return true;
}

CUniqueFile OpenWrittenFile(const wchar_t* path, const FileIdentity& written, const char* what)
{
    // Read sharing only: others may open it to read or run it (Windows'
    // loader maps a program's file with read access, and a setup reads
    // itself back the same way), but no one may open it to write, delete
    // or rename it while this handle is open. A fresh download is often
    // opened for a moment by others (a virus scanner, say), which makes the
    // open fail with a sharing violation for a short while.
    const int kAttempts = 20;
    const DWORD kPauseMs = 100;
    CUniqueFile file;
    for (int attempt = 1;; ++attempt) {
        file.Reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file.IsValid() || GetLastError() != ERROR_SHARING_VIOLATION || attempt == kAttempts)
            break;
        Sleep(kPauseMs);
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (file.IsValid() && (!IsSoleLinkFile(file.Get(), information) ||
                           information.dwVolumeSerialNumber != written.volumeSerial ||
                           information.nFileIndexHigh != written.indexHigh ||
                           information.nFileIndexLow != written.indexLow)) {
        file.Reset();
        SetLastError(ERROR_FILE_INVALID);
    }
    const DWORD error = GetLastError();
    if (!file.IsValid())
        LogLine("%hs refused: %hs, error %lu", what,
                error == ERROR_FILE_INVALID ? "the file at its path is not the one downloaded" : "it cannot be held open",
                error);
    SetLastError(error);
    return file;
}
