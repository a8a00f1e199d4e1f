// Stands in for the installed assistant: appends its command line to
// runs.txt beside itself, so a test sees that, and how, it was started.
#include <windows.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = std::strrchr(path, '\\');
    if (length == 0 || length >= MAX_PATH || !slash)
        return 1;
    lstrcpyA(slash + 1, "runs.txt");
    HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return 1;
    const char* commandLine = GetCommandLineA();
    DWORD written = 0;
    WriteFile(log, commandLine, lstrlenA(commandLine), &written, nullptr);
    WriteFile(log, "\r\n", 2, &written, nullptr);
    CloseHandle(log);
    return 0;
}
