// The demonstration's setup, and the assistant it installs, in one program.
//
// Run with /S (as the installer runs a setup) it copies itself to
// <ProgramFilesDir>\ZELK\Assistant\QXZELK_Assistant.exe, records the installed
// version, and exits 0. The folder is read from, and the version written to,
// the registry's 32-bit view, which the installer reads in every build: on
// 64-bit Windows the folder is then "Program Files (x86)". Run as the
// assistant (any other command line) it shows a small window saying that it
// runs.
#include <windows.h>

#include <cstring>

namespace {

const char kVersion[] = "1.4.14.815";
const REGSAM k32BitView = KEY_WOW64_32KEY;

bool ProgramFilesDir(char* directory, DWORD size)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_QUERY_VALUE | k32BitView, &key) != ERROR_SUCCESS)
        return false;
    const bool ok = RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(directory),
                                     &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    directory[size < MAX_PATH ? size : MAX_PATH - 1] = '\0';
    return ok;
}

int Install()
{
    char target[MAX_PATH] = {};
    if (!ProgramFilesDir(target, MAX_PATH))
        return 2;
    lstrcatA(target, "\\ZELK");
    CreateDirectoryA(target, nullptr);
    lstrcatA(target, "\\Assistant");
    CreateDirectoryA(target, nullptr);
    lstrcatA(target, "\\QXZELK_Assistant.exe");
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (!CopyFileA(self, target, FALSE))
        return 3;

    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kestrix\\QXZELK_Assistant", 0, nullptr, 0,
                        KEY_SET_VALUE | k32BitView, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 4;
    const LONG written = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kVersion),
                                        sizeof(kVersion));
    RegCloseKey(key);
    // Long enough for the installer's "installing" state to be seen.
    Sleep(1500);
    return written == ERROR_SUCCESS ? 0 : 5;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    if (std::strstr(commandLine, "/S"))
        return Install();
    MessageBoxA(nullptr, "The ZELK Assistant (demonstration) is installed, version 1.4.14.815, and running.",
                "QXZELK Assistant", MB_OK | MB_ICONINFORMATION);
    return 0;
}
