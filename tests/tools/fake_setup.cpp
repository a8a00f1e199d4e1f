// Stands in for the downloaded setup. It appends its command line, in
// UTF-8, to C:\setup-runs.txt and then does what C:\setup-behaviour.txt says, a line
// "EXIT_CODE SLEEP_MS" (default "0 0"), so one signed file serves every test.
//
// Like a self-extracting setup, it then reads its own file back by its
// module path and writes to C:\setup-self.txt whether that file is still the
// one it was started from ("own") or another ("foreign"). A racer (the swap
// racer's "running" mode) that attacks the running setup's file can cut the
// sleep short: the setup signals kStartedEvent once it runs and stops
// sleeping when kRaceOverEvent is signalled.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const wchar_t kStartedEvent[] = L"DA_Razi test: setup started";
const wchar_t kRaceOverEvent[] = L"DA_Razi test: race over";

void AppendLine(const char* path, const char* text, int length)
{
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text, length > 0 ? static_cast<DWORD>(length) : 0, &written, nullptr);
    WriteFile(file, "\r\n", 2, &written, nullptr);
    CloseHandle(file);
}

// Whether the file at this program's path has the file and section headers
// of the image that was loaded: the loader maps them unchanged, and another
// program's differ.
bool FileIsOwnImage()
{
    wchar_t path[MAX_PATH] = {};
    if (!GetModuleFileNameW(nullptr, path, MAX_PATH))
        return false;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    static char onDisk[4096];
    DWORD read = 0;
    const bool gotHeaders = ReadFile(file, onDisk, sizeof(onDisk), &read, nullptr);
    CloseHandle(file);

    const auto* image = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    const unsigned char* sections = reinterpret_cast<const unsigned char*>(IMAGE_FIRST_SECTION(nt));
    const size_t sectionsEnd = (sections - image) + nt->FileHeader.NumberOfSections * sizeof(IMAGE_SECTION_HEADER);
    const size_t fileHeader = dos->e_lfanew + sizeof(DWORD);
    return gotHeaders && read >= sectionsEnd &&
           std::memcmp(onDisk + fileHeader, image + fileHeader, sizeof(IMAGE_FILE_HEADER)) == 0 &&
           std::memcmp(onDisk + (sections - image), sections, sectionsEnd - (sections - image)) == 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char commandLine[4096] = {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, commandLine, sizeof(commandLine), nullptr, nullptr);
    AppendLine("C:\\setup-runs.txt", commandLine, length - 1);

    unsigned long exitCode = 0;
    unsigned long sleepMs = 0;
    if (std::FILE* behaviour = std::fopen("C:\\setup-behaviour.txt", "r")) {
        if (std::fscanf(behaviour, "%lu %lu", &exitCode, &sleepMs) < 1)
            exitCode = 0;
        std::fclose(behaviour);
    }
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, kStartedEvent);
    HANDLE raceOver = CreateEventW(nullptr, TRUE, FALSE, kRaceOverEvent);
    if (started)
        SetEvent(started);
    if (raceOver)
        WaitForSingleObject(raceOver, sleepMs);
    else
        Sleep(sleepMs);
    const char* self = FileIsOwnImage() ? "own" : "foreign";
    AppendLine("C:\\setup-self.txt", self, static_cast<int>(std::strlen(self)));
    return static_cast<int>(exitCode);
}
