#include "app/InstallerApp.h"
#include "app/MessageTables.h"
#include "app/UpdateManifest.h"
#include "install/DownloadCallback.h"
#include "install/InstallStatus.h"
#include "install/Installation.h"
#include "system/Launch.h"
#include "tests/windows/WholeFile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool MutexExists()
{
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, kSingleInstanceMutexName);
    if (!mutex)
        return false;
    CloseHandle(mutex);
    return true;
}

TEST(InstallerApp, SecondInstanceEndsBeforeFillingTheTexts)
{
    HANDLE first = CreateMutexW(nullptr, FALSE, kSingleInstanceMutexName);
    ASSERT_NE(nullptr, first);

    CInstallerApp second;
    EXPECT_FALSE(second.InitInstance());
    EXPECT_EQ(nullptr, second.m_hMutex.Get());
    EXPECT_EQ(nullptr, second.m_strTitle);
    EXPECT_EQ(0, second.ExitInstance());

    CloseHandle(first);
    EXPECT_FALSE(MutexExists()) << "the second instance must close its handle exactly once";
}

TEST(InstallerApp, HoldsTheMutexUntilExitInstance)
{
    CInstallerApp app;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_NE(nullptr, app.m_hMutex.Get());
    EXPECT_TRUE(MutexExists());
    EXPECT_EQ(MessageColumnForLanguage(GetSystemDefaultLangID())[MSG_TITLE], app.m_strTitle);

    EXPECT_EQ(0, app.ExitInstance());
    EXPECT_EQ(nullptr, app.m_hMutex.Get());
    EXPECT_FALSE(MutexExists());
}

// While it lives, this exe's import of `function` from `dll` is `replacement`:
// the product's code in this exe calls it through that entry.
class CImportReplaced {
public:
    CImportReplaced(const char* dll, const char* function, const void* replacement)
    {
        BYTE* const base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        const LONG headers = reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew;
        const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + headers);
        const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); entry->Name; ++entry) {
            if (_stricmp(reinterpret_cast<char*>(base + entry->Name), dll) != 0)
                continue;
            auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
            auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
            for (; name->u1.AddressOfData; ++name, ++slot) {
                if (!IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) &&
                    strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name, function) == 0)
                    m_slot = &slot->u1.Function;
            }
        }
        if (m_slot) {
            m_original = *m_slot;
            Write(reinterpret_cast<ULONG_PTR>(replacement));
        }
    }
    ~CImportReplaced()
    {
        if (m_slot)
            Write(m_original);
    }
    bool IsReplaced() const { return m_slot != nullptr; }

private:
    void Write(ULONG_PTR value)
    {
        DWORD protection = 0;
        VirtualProtect(m_slot, sizeof(*m_slot), PAGE_READWRITE, &protection);
        *m_slot = value;
        VirtualProtect(m_slot, sizeof(*m_slot), protection, &protection);
    }

    decltype(IMAGE_THUNK_DATA::u1.Function)* m_slot = nullptr;
    ULONG_PTR m_original = 0;
};

// _beginthreadex when the system has no thread to give.
uintptr_t __cdecl NoThread(void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned, unsigned*)
{
    return 0;
}

volatile LONG g_lastStatus = -1;

LRESULT CALLBACK RecordStatus(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INSTALL_STATUS)
        InterlockedExchange(&g_lastStatus, static_cast<LONG>(wParam));
    return DefWindowProcA(window, message, wParam, lParam);
}

unsigned __stdcall AwaitSetupEndThread(void*)
{
    AwaitSetupEnd();
    return 0;
}

// A runner that cannot be started leaves no setup for the end of the process
// to wait for: it must not wait for whatever worker holds the workers' lock
// (here a download, held up in its first report to a window whose thread
// does not read its messages yet, as a stalled download holds it up).
TEST(Installation, EndDoesNotWaitForAWorkerWhenTheRunnerCouldNotStart)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordStatus;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "InstallationTestDialog";
    RegisterClassA(&windowClass);
    const HWND dialog = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, dialog);
    wchar_t folder[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    SetupDownloadJob download = {dialog, nullptr, L"file:///C:/no-such-setup.exe", {}, nullptr, {}};
    lstrcpynW(download.szSetupPath, (std::wstring(folder) + L"end-test-setup.exe").c_str(), kTempPathSize);
    g_bCancel = 0;
    ASSERT_TRUE(StartSetupDownload(download));
    const DWORD started = GetTickCount();
    while (!HIWORD(GetQueueStatus(QS_SENDMESSAGE)) && GetTickCount() - started < 10000)
        Sleep(10);
    EXPECT_TRUE(HIWORD(GetQueueStatus(QS_SENDMESSAGE))) << "the download worker never reported";

    CUniqueFile verified(CreateFileW(download.szSetupPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    bool ran = true;
    {
        const CImportReplaced noThreads("msvcrt.dll", "_beginthreadex", reinterpret_cast<const void*>(NoThread));
        EXPECT_TRUE(noThreads.IsReplaced());
        ran = noThreads.IsReplaced() && StartSetupRun(dialog, verified, download.szSetupPath);
    }
    EXPECT_FALSE(ran) << "a thread could be started";
    EXPECT_TRUE(verified.IsValid()) << "the file stays the caller's";
    const CUniqueHandle end = StartThread(AwaitSetupEndThread, nullptr);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(end.Get(), 5000)) << "the end waits for the download worker";

    // The download worker ends at its next look once the user has left.
    InterlockedExchange(&g_bCancel, 1);
    while (g_lastStatus != STATUS_DOWNLOAD_FAILED && g_lastStatus != STATUS_DOWNLOAD_DONE &&
           GetTickCount() - started < 60000) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(end.Get(), 10000));
    verified.Reset();
    DeleteFileW(download.szSetupPath);
    DestroyWindow(dialog);
    g_bCancel = 0;
}

std::string Ansi(const std::wstring& text)
{
    std::string ansi(text.size() * 2, '\0');
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &ansi[0],
                                           static_cast<int>(ansi.size()), nullptr, nullptr);
    ansi.resize(static_cast<size_t>(length));
    return ansi;
}

// A Chinese server publishes its manifest in its code page; each value is
// cut to its buffer (31 and 511 bytes of text) at a whole character, never
// between the two bytes of one.
TEST(UpdateManifest, ReadsEachValueCutToItsBufferAtAWholeCharacter)
{
    if (GetACP() != 936)
        GTEST_SKIP() << "needs the double-byte code page 936, which the windows_zh_CN run has";
    const wchar_t kDoubleByte = L'\x4E2D';
    const std::wstring url = L"https://localhost:8443/setup.exe";
    const struct {
        std::wstring version;
        std::wstring address;
        bool read;
        size_t versionKept;  // characters
        size_t addressKept;
    } cases[] = {
        {L"1.0.0.12", url, true, 8, url.size()},
        {std::wstring(15, kDoubleByte), url, true, 15, url.size()},
        {std::wstring(16, kDoubleByte), url, true, 15, url.size()},
        {L"a" + std::wstring(15, kDoubleByte), url, true, 16, url.size()},
        {L"a" + std::wstring(16, kDoubleByte), url, true, 16, url.size()},
        {std::wstring(31, L'9'), url, true, 31, url.size()},
        {std::wstring(40, L'9'), url, true, 31, url.size()},
        {L"1", std::wstring(255, kDoubleByte), true, 1, 255},
        {L"1", std::wstring(256, kDoubleByte), true, 1, 255},
        {L"1", L"a" + std::wstring(255, kDoubleByte), true, 1, 256},
        {L"1", std::wstring(600, L'a'), true, 1, 511},
        {L"", url, false, 0, 0},
        {L"1", L"", false, 0, 0},
    };
    wchar_t folder[MAX_PATH] = {};
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, folder));
    const std::wstring path = std::wstring(folder) + L"manifest-test.ini";
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const auto& c = cases[i];
        const std::string text =
            Ansi(L"[Version]\r\nversion=" + c.version + L"\r\n[download]\r\nAddress=" + c.address + L"\r\n");
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD written = 0;
        FileIdentity identity = {};
        const BOOL wrote = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                           ReadFileIdentity(file, identity);
        CloseHandle(file);
        ASSERT_TRUE(wrote);

        char version[kVersionBufferSize] = {};
        CString downloadUrl("before");
        SetupPins pins;
        EXPECT_EQ(c.read, ReadUpdateManifest(path.c_str(), identity, version, downloadUrl, pins)) << "case " << i;
        if (c.read) {
            EXPECT_EQ(Ansi(c.version.substr(0, c.versionKept)), version) << "case " << i;
            EXPECT_EQ(Ansi(c.address.substr(0, c.addressKept)), static_cast<const char*>(downloadUrl)) << "case " << i;
        } else {
            EXPECT_STREQ("before", downloadUrl) << "case " << i;
        }
    }
    DeleteFileW(path.c_str());
}

// Only the file its download wrote is read: another file of the same bytes
// put at its name, or a second link to it, is refused with nothing taken.
// While it is read, nobody can open it to write.
TEST(UpdateManifest, ReadsOnlyTheFileItsDownloadWrote)
{
    wchar_t folder[MAX_PATH] = {};
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, folder));
    const std::wstring path = std::wstring(folder) + L"manifest-identity.ini";
    const std::wstring link = std::wstring(folder) + L"manifest-identity-link.ini";
    const std::string text = "[version]\r\nversion=1.2.3.4\r\n[download]\r\naddress=https://localhost/s.exe\r\n";
    const auto identityOf = [](const std::wstring& name) {
        FileIdentity identity = {};
        const CUniqueFile file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                           FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(file.IsValid() && ReadFileIdentity(file.Get(), identity));
        return identity;
    };
    const std::wstring moved = path + L".moved";
    for (const std::wstring* name : {&link, &path, &moved})
        DeleteFileW(name->c_str());
    WriteWholeFile(path, text);
    const FileIdentity written = identityOf(path);
    // Moved away, not deleted, so that the new file cannot take its index.
    ASSERT_TRUE(MoveFileExW(path.c_str(), moved.c_str(), 0));
    WriteWholeFile(path, text);
    const FileIdentity replaced = identityOf(path);
    const struct {
        const wchar_t* name;
        const FileIdentity* identity;
        bool linked;
        bool read;
    } cases[] = {
        {L"a file put in place of the one written", &written, false, false},
        {L"the written file with a second link", &replaced, true, false},
        {L"the written file alone", &replaced, false, true},
    };
    for (const auto& c : cases) {
        if (c.linked)
            ASSERT_TRUE(CreateHardLinkW(link.c_str(), path.c_str(), nullptr)) << GetLastError();
        char version[kVersionBufferSize] = {};
        CString downloadUrl("before");
        SetupPins pins;
        EXPECT_EQ(c.read, ReadUpdateManifest(path.c_str(), *c.identity, version, downloadUrl, pins)) << c.name;
        EXPECT_STREQ(c.read ? "https://localhost/s.exe" : "before", downloadUrl) << c.name;
        DeleteFileW(link.c_str());
    }
    DeleteFileW(moved.c_str());
    DeleteFileW(path.c_str());
}

}  // namespace
