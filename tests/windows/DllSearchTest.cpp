#include "system/DllSearch.h"

#include <windows.h>

#include <delayimp.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Folder(const std::string& path)
{
    return path.substr(0, path.find_last_of('\\'));
}

std::string ModulePath(HMODULE module)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

std::string SystemFolder()
{
    char path[MAX_PATH] = {};
    GetSystemDirectoryA(path, MAX_PATH);
    return path;
}

// Where SetDefaultDllDirectories is missing, the search is the standard one,
// which begins in the exe's folder. A delay-loaded DLL's own imports must
// still come from the system folder: loaded by full path with
// LOAD_WITH_ALTERED_SEARCH_PATH, its imports are searched for in its own
// folder in place of the exe's. planted_importer.dll imports planted.dll,
// one copy of which lies beside this exe.
TEST(DllSearch, ADelayLoadedDllTakesItsImportsFromItsOwnFolder)
{
    const std::string exeFolder = Folder(ModulePath(nullptr));
    HMODULE unrestricted = LoadLibraryA("planted.dll");
    if (!unrestricted)
        GTEST_SKIP() << "the DLL search is restricted already; the windows_dll_search run is not";
    FreeLibrary(unrestricted);
    ASSERT_EQ(nullptr, GetModuleHandleA("planted.dll"));

    const char* const names[] = {"planted.dll", "planted_importer.dll"};
    for (const char* name : names)
        ASSERT_TRUE(CopyFileA((exeFolder + "\\" + name).c_str(), (SystemFolder() + "\\" + name).c_str(), TRUE))
            << name << " " << GetLastError();
    DelayLoadInfo info = {};
    info.cb = sizeof(info);
    info.szDll = "planted_importer.dll";
    HMODULE importer = reinterpret_cast<HMODULE>(__pfnDliNotifyHook2(dliNotePreLoadLibrary, &info));
    EXPECT_NE(nullptr, importer);
    if (importer) {
        EXPECT_STRCASEEQ(SystemFolder().c_str(), Folder(ModulePath(GetModuleHandleA("planted.dll"))).c_str());
        FreeLibrary(importer);
    }
    for (const char* name : names)
        DeleteFileA((SystemFolder() + "\\" + name).c_str());
}

// The tests' build puts planted.dll (a DLL of no use) beside this exe.
TEST(DllSearch, NamesNextToTheExeAreNotFoundOnceRestricted)
{
    const std::string planted = Folder(ModulePath(nullptr)) + "\\planted.dll";
    HMODULE byPath = LoadLibraryExA(planted.c_str(), nullptr, 0);
    ASSERT_NE(nullptr, byPath) << "planted.dll must be beside the test exe: " << planted;
    FreeLibrary(byPath);

    RestrictDllSearchToSystem();
    HMODULE byName = LoadLibraryA("planted.dll");
    EXPECT_EQ(nullptr, byName) << ModulePath(byName);
    if (byName)
        FreeLibrary(byName);
    // What the system's TLS stack loads by name is already there, from the system folder.
    for (const char* name : {"secur32.dll", "crypt32.dll"}) {
        const HMODULE loaded = GetModuleHandleA(name);
        ASSERT_NE(nullptr, loaded) << name;
        EXPECT_STRCASEEQ(SystemFolder().c_str(), Folder(ModulePath(loaded)).c_str()) << name;
    }
}

TEST(DllSearch, DelayLoadsComeFromTheSystemFolder)
{
    ASSERT_NE(nullptr, __pfnDliNotifyHook2);
    const std::string longName(MAX_PATH, 'a');
    const struct {
        unsigned notification;
        const char* dll;
        bool loads;
    } cases[] = {
        {dliNotePreLoadLibrary, "netapi32.dll", true},
        {dliNotePreLoadLibrary, "WINTRUST.dll", true},
        {dliNotePreLoadLibrary, "no-such-library.dll", false},
        // A name that cannot fit after the folder is refused, not cut.
        {dliNotePreLoadLibrary, longName.c_str(), false},
        {dliNotePreLoadLibrary, nullptr, false},
        // Only the load itself is taken over; the helper does the rest.
        {dliNoteStartProcessing, "netapi32.dll", false},
        {dliNotePreGetProcAddress, "netapi32.dll", false},
        {dliFailLoadLib, "netapi32.dll", false},
    };
    for (const auto& c : cases) {
        DelayLoadInfo info = {};
        info.cb = sizeof(info);
        info.szDll = c.dll;
        HMODULE module = reinterpret_cast<HMODULE>(__pfnDliNotifyHook2(c.notification, &info));
        EXPECT_EQ(c.loads, module != nullptr) << c.notification << " " << (c.dll ? c.dll : "(null)");
        if (module) {
            EXPECT_STRCASEEQ(SystemFolder().c_str(), Folder(ModulePath(module)).c_str());
            FreeLibrary(module);
        }
    }
}

// The path is built in a MAX_PATH buffer: a name that leaves room for the
// terminator after the system folder and its backslash loads, one character
// more is refused. Both files exist in the (throwaway) system folder, so a
// refusal is the hook's, not a missing file's.
TEST(DllSearch, DelayLoadPathFillsItsBufferExactly)
{
    const std::string exeSide = Folder(ModulePath(nullptr)) + "\\planted.dll";
    const size_t longestName = MAX_PATH - 1 - SystemFolder().size() - 1;
    for (const size_t length : {longestName, longestName + 1}) {
        const std::string name = std::string(length - 4, 'b') + ".dll";
        const std::string copy = SystemFolder() + "\\" + name;
        ASSERT_TRUE(CopyFileA(exeSide.c_str(), copy.c_str(), TRUE)) << GetLastError() << " " << copy;
        DelayLoadInfo info = {};
        info.cb = sizeof(info);
        info.szDll = name.c_str();
        HMODULE module = reinterpret_cast<HMODULE>(__pfnDliNotifyHook2(dliNotePreLoadLibrary, &info));
        EXPECT_EQ(length == longestName, module != nullptr) << "a name of " << length << " characters";
        if (module)
            FreeLibrary(module);
        DeleteFileA(copy.c_str());
    }
}

// A program whose manifest asks for common controls 6 gets them where it
// delay-loads comctl32: from the assembly, not the system folder's older copy.
TEST(DllSearch, DelayLoadsTheAssemblyTheManifestBindsTheDllTo)
{
    char folder[MAX_PATH] = {};
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, folder));
    const std::string manifestPath = std::string(folder) + "common-controls-6.manifest";
    const char manifest[] =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"><dependency>"
        "<dependentAssembly><assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" "
        "version=\"6.0.0.0\" processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>"
        "</dependentAssembly></dependency></assembly>";
    HANDLE file = CreateFileA(manifestPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, manifest, sizeof(manifest) - 1, &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(wrote);
    ACTCTXA request = {};
    request.cbSize = sizeof(request);
    request.lpSource = manifestPath.c_str();
    HANDLE context = CreateActCtxA(&request);
    DeleteFileA(manifestPath.c_str());
    ASSERT_NE(INVALID_HANDLE_VALUE, context) << GetLastError();

    for (const bool active : {false, true}) {
        ULONG_PTR cookie = 0;
        ASSERT_TRUE(!active || ActivateActCtx(context, &cookie));
        DelayLoadInfo info = {};
        info.cb = sizeof(info);
        info.szDll = "comctl32.dll";
        HMODULE module = reinterpret_cast<HMODULE>(__pfnDliNotifyHook2(dliNotePreLoadLibrary, &info));
        if (active)
            DeactivateActCtx(0, cookie);
        ASSERT_NE(nullptr, module) << active;
        EXPECT_EQ(!active, _stricmp(SystemFolder().c_str(), Folder(ModulePath(module)).c_str()) == 0)
            << ModulePath(module);
        FreeLibrary(module);
    }
    ReleaseActCtx(context);
}

}  // namespace
