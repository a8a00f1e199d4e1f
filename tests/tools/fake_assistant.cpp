// Stands in for the installed assistant: appends its command line, in UTF-8,
// to runs.txt beside itself, so a test sees that, and how, it was started.
// Wide throughout, so that a folder named outside the code page works.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    wchar_t* slash = nullptr;
    for (wchar_t* c = path; *c; ++c)
        if (*c == L'\\')
            slash = c;
    if (length == 0 || length >= MAX_PATH - 9 || !slash)
        return 1;
    lstrcpyW(slash + 1, L"runs.txt");
    HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return 1;
    char commandLine[4096] = {};
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, commandLine, sizeof(commandLine), nullptr, nullptr);
    DWORD written = 0;
    WriteFile(log, commandLine, bytes > 0 ? static_cast<DWORD>(bytes - 1) : 0, &written, nullptr);
    WriteFile(log, "\r\n", 2, &written, nullptr);
    CloseHandle(log);
    return 0;
}
