#include "system/DllSearch.h"

#include "system/ModuleLookUp.h"

#include <windows.h>

#include <delayimp.h>

#include <cstring>

namespace {

// Not in every SDK's headers: the value comes with SetDefaultDllDirectories.
const DWORD kSearchSystem32 = 0x00000800;

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryFn)(LPCSTR);

FARPROC WINAPI LoadDelayedFromSystemFolder(unsigned notification, PDelayLoadInfo info)
{
    if (notification != dliNotePreLoadLibrary || !info || !info->szDll)
        return nullptr;
    char path[MAX_PATH];
    const UINT folderLength = GetSystemDirectoryA(path, MAX_PATH);
    const size_t nameLength = std::strlen(info->szDll);
    if (folderLength == 0 || folderLength + 1 + nameLength >= MAX_PATH)
        return nullptr;
    path[folderLength] = '\\';
    std::memcpy(path + folderLength + 1, info->szDll, nameLength + 1);
    // The DLL's own imports are searched for in the system folder first too.
    return reinterpret_cast<FARPROC>(LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace

// Read by the delay-load helper before it loads a DLL by name; a null answer
// lets it fall back to its own search, which the calls below restrict.
PfnDliHook __pfnDliNotifyHook2 = LoadDelayedFromSystemFolder;

void RestrictDllSearchToSystem()
{
    // Looked up at run time: Windows before 8 (without its update) and 2000
    // have neither function, and must still start.
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel)
        return;
    const SetDefaultDllDirectoriesFn setDefault =
        LookUp<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
    if (setDefault && setDefault(kSearchSystem32))
        return;
    // Older systems: at least take the current folder out of the search.
    const SetDllDirectoryFn setDirectory = LookUp<SetDllDirectoryFn>(kernel, "SetDllDirectoryA");
    if (setDirectory)
        setDirectory("");
}
