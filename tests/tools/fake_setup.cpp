// Stands in for the downloaded setup. It appends its command line to
// C:\setup-runs.txt and then does what C:\setup-behaviour.txt says, a line
// "EXIT_CODE SLEEP_MS" (default "0 0"), so one signed file serves every test.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    HANDLE log = CreateFileA("C:\\setup-runs.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
        const char* commandLine = GetCommandLineA();
        DWORD written = 0;
        WriteFile(log, commandLine, lstrlenA(commandLine), &written, nullptr);
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
