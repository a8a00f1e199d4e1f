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
typedef BOOL(WINAPI* FindActCtxSectionStringFn)(DWORD, const GUID*, ULONG, LPCSTR, PACTCTX_SECTION_KEYED_DATA);

// True when the current activation context, the manifest's, binds `name` to a
// side-by-side assembly (comctl32 to common controls 6). Looked up at run
// time: Windows 2000 has no activation contexts.
bool BoundByManifest(const char* name)
{
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FindActCtxSectionStringFn find =
        kernel ? LookUp<FindActCtxSectionStringFn>(kernel, "FindActCtxSectionStringA") : nullptr;
    ACTCTX_SECTION_KEYED_DATA found = {};
    found.cbSize = sizeof(found);
    return find && find(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &found);
}

// The DLL `name` from the system folder, by its full path; null when it
// cannot be loaded or its path does not fit.
HMODULE LoadFromSystemFolder(const char* name)
{
    char path[MAX_PATH];
    const UINT folderLength = GetSystemDirectoryA(path, MAX_PATH);
    const size_t nameLength = std::strlen(name);
    if (folderLength == 0 || folderLength + 1 + nameLength >= MAX_PATH)
        return nullptr;
    path[folderLength] = '\\';
    std::memcpy(path + folderLength + 1, name, nameLength + 1);
    // The DLL's own imports are searched for in the system folder first too.
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC WINAPI LoadDelayedFromSystemFolder(unsigned notification, PDelayLoadInfo info)
{
    if (notification != dliNotePreLoadLibrary || !info || !info->szDll)
        return nullptr;
    // By its bare name the loader takes the assembly's copy before it searches
    // any folder; by full path it would take the system folder's older one.
    if (BoundByManifest(info->szDll))
        return reinterpret_cast<FARPROC>(LoadLibraryA(info->szDll));
    return reinterpret_cast<FARPROC>(LoadFromSystemFolder(info->szDll));
}

// Restricts later loads by name to the system folder where the system can,
// and takes at least the current folder out of the search elsewhere.
void RestrictSearch()
{
    // Looked up at run time: Windows before 8 (without its update) and 2000
    // have neither function, and must still start.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
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

}  // namespace

// Read by the delay-load helper before it loads a DLL by name; a null answer
// lets it fall back to its own search, which the calls below restrict.
PfnDliHook __pfnDliNotifyHook2 = LoadDelayedFromSystemFolder;

void RestrictDllSearchToSystem()
{
    RestrictSearch();
    // The system's TLS stack (wininet through secur32 and schannel) loads
    // these by name at the first HTTPS connection; where the restriction is
    // missing (Vista, 7 without KB2533623) that search begins in the exe's
    // folder. Loaded now by full path, they are found by name among the
    // loaded modules, which the loader looks at before any folder ("Dynamic-
    // Link Library Search Order": a DLL of the same module name already
    // loaded, wherever from). The process keeps them, as it keeps its
    // imports and its delay-loaded DLLs, until it ends: a download worker is
    // never waited for and may open its first connection while the process
    // ends, and a freed one would be searched for by name again.
    LoadFromSystemFolder("secur32.dll");
    LoadFromSystemFolder("crypt32.dll");
}
