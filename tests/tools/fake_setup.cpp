// Stands in for the downloaded setup. It appends its command line, in
// UTF-8, to C:\setup-runs.txt and then does what C:\setup-behaviour.txt says, a line
// "EXIT_CODE SLEEP_MS" (default "0 0"), so one signed file serves every test.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    HANDLE log = CreateFileA("C:\\setup-runs.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
        char commandLine[4096] = {};
        const int length = WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, commandLine, sizeof(commandLine),
                                               nullptr, nullptr);
        DWORD written = 0;
        WriteFile(log, commandLine, length > 0 ? static_cast<DWORD>(length - 1) : 0, &written, nullptr);
        WriteFile(log, "\r\n", 2, &written, nullptr);
        CloseHandle(log);
    }
    unsigned long exitCode = 0;
    unsigned long sleepMs = 0;
    if (std::FILE* behaviour = std::fopen("C:\\setup-behaviour.txt", "r")) {
        if (std::fscanf(behaviour, "%lu %lu", &exitCode, &sleepMs) < 1)
            exitCode = 0;
        std::fclose(behaviour);
    }
    Sleep(sleepMs);
    return static_cast<int>(exitCode);
}
