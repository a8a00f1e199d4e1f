#include "app/InstallerApp.h"
#include "app/MessageTables.h"
#include "app/UpdateManifest.h"
#include "tests/windows/WholeFile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool MutexExists()
{
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kSingleInstanceMutexName);
    if (!mutex)
        return false;
    CloseHandle(mutex);
    return true;
}

TEST(InstallerApp, SecondInstanceEndsBeforeFillingTheTexts)
{
    HANDLE first = CreateMutexA(nullptr, FALSE, kSingleInstanceMutexName);
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
