#include "system/RunLog.h"

#include "framework/AfxHandle.h"
#include "system/TempPath.h"

#include <shlwapi.h>
#include <stdarg.h>

namespace {

const wchar_t kLogFileName[] = L"\\DA_Razi.log";
const wchar_t kOldLogFileName[] = L"\\DA_Razi.old.log";
const DWORD kRotateAboveBytes = 1024 * 1024;
const int kLineLength = 1000;
// Another copy writes a line in far less; a lock held longer than this (by
// anyone) turns the log off for the rest of the run instead of slowing it.
const DWORD kLockWaitMs = 200;

// Held for the life of the process and never closed: a worker that
// outlives the dialog may still log while the process ends.
HANDLE g_hLogFile = INVALID_HANDLE_VALUE;
// Orders the lines of every copy of the program and thread that writes.
HANDLE g_hLogLock = nullptr;
volatile LONG g_bLogOff = 0;

// A mutex held by this thread, released when the owner goes.
typedef CUniqueAny<HANDLE, ReleaseMutex> CHeldMutex;

// The log's lock, held; none (and the log off) when it is not had in time.
CHeldMutex TakeLogLock()
{
    const DWORD waited = WaitForSingleObject(g_hLogLock, kLockWaitMs);
    // An abandoned lock is ours now: its holder ended between two lines.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        return CHeldMutex(g_hLogLock);
    InterlockedExchange(&g_bLogOff, 1);
    return CHeldMutex();
}

// The log at `path` to append to: the one there when it is a plain file of
// one name and within its bound; else a new one in its place, after the
// grown one has been renamed to the old log's name (replacing that). A link
// that another account left in a shared temporary folder is never written
// through nor moved, only removed. Not shared for deleting, so that no name
// can be swapped while the handle is checked and held.
HANDLE OpenLogToAppend(const wchar_t* path)
{
    // Append data only: Windows then writes every write at the end of the
    // file. Shared for writing, so that another copy appends too.
    const DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    CUniqueFile log(CreateFileW(path, FILE_APPEND_DATA, kShare, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (log.IsValid() && IsSoleLinkFile(log.Get(), information)) {
        if (information.nFileSizeHigh == 0 && information.nFileSizeLow <= kRotateAboveBytes)
            return log.Release();
        log.Reset();
        wchar_t oldPath[kTempPathSize];
        BuildTempFilePath(oldPath, kOldLogFileName);
        MoveFileExW(path, oldPath, MOVEFILE_REPLACE_EXISTING);
    }
    log.Reset();
    return CreateOwnFile(path, FILE_APPEND_DATA, kShare).Release();
}

}  // namespace

void OpenRunLog()
{
    g_hLogLock = CreateMutexW(nullptr, FALSE, L"DA_Razi run log");
    if (!g_hLogLock)
        return;
    const CHeldMutex lock = TakeLogLock();
    if (!lock.IsValid())
        return;
    wchar_t path[kTempPathSize];
    BuildTempFilePath(path, kLogFileName);
    g_hLogFile = OpenLogToAppend(path);
}

void LogLine(const char* format, ...)
{
    if (g_hLogFile == INVALID_HANDLE_VALUE || g_bLogOff)
        return;
    // The formats are kept narrow, which halves their share of the exe.
    wchar_t wideFormat[kLineLength];
    if (!MultiByteToWideChar(CP_ACP, 0, format, -1, wideFormat, kLineLength))
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t line[kLineLength + 3];
    int length = wnsprintfW(line, kLineLength, L"%04u-%02u-%02u %02u:%02u:%02u.%03u %lu ", now.wYear, now.wMonth,
                            now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, GetCurrentProcessId());
    if (length < 0)
        return;
    va_list arguments;
    va_start(arguments, format);
    const int event = wvnsprintfW(line + length, kLineLength - length, wideFormat, arguments);
    va_end(arguments);
    // A line cut short ends where it was cut.
    line[kLineLength - 1] = L'\0';
    length += event >= 0 ? event : lstrlenW(line + length);
    line[length++] = L'\r';
    line[length++] = L'\n';
    char utf8[3 * (kLineLength + 2)];
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, line, length, utf8, sizeof(utf8), nullptr, nullptr);
    if (bytes <= 0)
        return;
    const CHeldMutex lock = TakeLogLock();
    if (!lock.IsValid())
        return;
    DWORD written = 0;
    WriteFile(g_hLogFile, utf8, static_cast<DWORD>(bytes), &written, nullptr);
}
