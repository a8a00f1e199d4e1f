#include "system/RunLog.h"
#include "system/TempPath.h"
#include "tests/windows/WholeFile.h"

#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlwapi.h>

#include <cctype>
#include <string>

namespace {

std::wstring TempFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    EXPECT_GT(GetTempPathW(MAX_PATH + 1, folder), 0u);
    return folder;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(TempPath, NamesAFileInTheTemporaryFolder)
{
    wchar_t path[kTempPathSize];
    BuildTempFilePath(path, L"\\name.tmp");
    EXPECT_EQ(TempFolder() + L"\\name.tmp", path);
}

TEST(TempPath, DiscardsTheStaleCopyOnlyWithAFileTest)
{
    const std::wstring path = TempFolder() + L"stale-copy.tmp";
    const struct {
        PathFileExistsFn fileExists;
        bool kept;
    } cases[] = {{PathFileExistsW, false}, {nullptr, true}};
    for (const auto& c : cases) {
        WriteWholeFile(path, "stale");
        DiscardStaleCopy(L"https://127.0.0.1:8443/stale-copy.bin", path.c_str(), c.fileExists);
        EXPECT_EQ(c.kept, Exists(path)) << "with a file test: " << (c.fileExists != nullptr);
    }
    DeleteFileW(path.c_str());
}

// A hard link at the name is removed, never written through; a name held by
// an open file is refused.
TEST(TempPath, CreatesItsOwnFileInPlaceOfALink)
{
    const std::wstring linked = TempFolder() + L"own-linked.tmp";
    const std::wstring name = TempFolder() + L"own-name.tmp";
    DeleteFileW(name.c_str());
    WriteWholeFile(linked, "keep");
    ASSERT_TRUE(CreateHardLinkW(name.c_str(), linked.c_str(), nullptr)) << GetLastError();
    {
        const CUniqueFile link(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        BY_HANDLE_FILE_INFORMATION information = {};
        EXPECT_FALSE(IsSoleLinkFile(link.Get(), information));
        EXPECT_EQ(2u, information.nNumberOfLinks);
    }
    {
        const CUniqueFile own = CreateOwnFile(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ);
        ASSERT_TRUE(own.IsValid()) << GetLastError();
        BY_HANDLE_FILE_INFORMATION information = {};
        EXPECT_TRUE(IsSoleLinkFile(own.Get(), information));
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(own.Get(), "new", 3, &written, nullptr));
        EXPECT_FALSE(CreateOwnFile(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ).IsValid()) << "the name is held";
        EXPECT_NE(0u, GetLastError());
    }
    EXPECT_EQ("keep", ReadWholeFile(linked));
    EXPECT_EQ("new", ReadWholeFile(name));
    DeleteFileW(name.c_str());
    DeleteFileW(linked.c_str());
}

// The access list read back through the handle admits this user, the
// administrators and SYSTEM, and no one else; it inherits nothing.
TEST(TempPath, ItsOwnFileAdmitsNoOtherAccount)
{
    const std::wstring name = TempFolder() + L"own-security.tmp";
    const CUniqueFile own = CreateOwnFile(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ);
    ASSERT_TRUE(own.IsValid()) << GetLastError();
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              GetSecurityInfo(own.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor));
    const CUniqueLocal ownedDescriptor(descriptor);
    ASSERT_NE(nullptr, dacl) << "a null access list admits everyone";
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof(user), &size));
    CloseHandle(token);
    const PSID self = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
    bool selfAdmitted = false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        const PSID sid = &ace->SidStart;
        LPWSTR text = nullptr;
        ConvertSidToStringSidW(sid, &text);
        const CUniqueLocal ownedText(text);
        EXPECT_TRUE(EqualSid(sid, self) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
                    IsWellKnownSid(sid, WinLocalSystemSid))
            << "entry " << i << " admits " << (text ? text : L"?");
        selfAdmitted = selfAdmitted || EqualSid(sid, self);
    }
    EXPECT_TRUE(selfAdmitted) << "the user must read the file back";
}

// The file is opened again only where it is still the file that was
// written, of one link; while it is held, nobody can open it to write.
TEST(TempPath, OpensAgainOnlyTheFileItWrote)
{
    const std::wstring name = TempFolder() + L"written.tmp";
    const std::wstring link = TempFolder() + L"written-link.tmp";
    DeleteFileW(link.c_str());
    FileIdentity written = {};
    {
        const CUniqueFile own = CreateOwnFile(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ);
        ASSERT_TRUE(own.IsValid() && ReadFileIdentity(own.Get(), written)) << GetLastError();
    }
    {
        const CUniqueFile held = OpenWrittenFile(name.c_str(), written, "test file");
        ASSERT_TRUE(held.IsValid()) << GetLastError();
        const CUniqueFile writer(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                             FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(writer.IsValid()) << "the held file can be written";
        EXPECT_FALSE(MoveFileExW(name.c_str(), link.c_str(), 0)) << "the held file can be renamed";
    }
    ASSERT_TRUE(CreateHardLinkW(link.c_str(), name.c_str(), nullptr)) << GetLastError();
    EXPECT_FALSE(OpenWrittenFile(name.c_str(), written, "test file").IsValid()) << "a file of two links";
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_INVALID), GetLastError());
    ASSERT_TRUE(DeleteFileW(name.c_str()));
    WriteWholeFile(name, "");
    EXPECT_FALSE(OpenWrittenFile(name.c_str(), written, "test file").IsValid()) << "another file at the name";
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_INVALID), GetLastError());
    ASSERT_TRUE(DeleteFileW(name.c_str()));
    EXPECT_FALSE(OpenWrittenFile(name.c_str(), written, "test file").IsValid()) << "no file at the name";
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    ASSERT_TRUE(MoveFileExW(link.c_str(), name.c_str(), 0));
    EXPECT_TRUE(OpenWrittenFile(name.c_str(), written, "test file").IsValid()) << "the written file, renamed back";
    DeleteFileW(name.c_str());
}

// The log is opened once per process and held to its end, so each case runs
// in a process of its own (CTest runs them one by one, by name).
struct RunLogCase {
    const char* name;
    DWORD staleBytes;  // what the log holds before the run
    bool linked;       // the log's name is a second link to another file
    bool rotated;
};

class RunLog : public ::testing::TestWithParam<RunLogCase> {};

TEST_P(RunLog, AppendsOneUtf8LinePerEvent)
{
    const RunLogCase& c = GetParam();
    const std::string caseName = c.name;
    const std::wstring folder = TempFolder() + L"run-log-" + std::wstring(caseName.begin(), caseName.end()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring log = folder + L"DA_Razi.log", old = folder + L"DA_Razi.old.log", other = folder + L"other.txt";
    for (const std::wstring* path : {&log, &old, &other})
        DeleteFileW(path->c_str());
    const std::string stale(c.staleBytes, 'x');
    if (c.linked) {
        WriteWholeFile(other, stale);
        ASSERT_TRUE(CreateHardLinkW(log.c_str(), other.c_str(), nullptr)) << GetLastError();
    } else if (c.staleBytes > 0) {
        WriteWholeFile(log, stale);
    }
    // GetTempPath reads TMP first.
    wchar_t previous[MAX_PATH + 1] = {};
    const DWORD previousLength = GetEnvironmentVariableW(L"TMP", previous, MAX_PATH + 1);
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", folder.c_str()));
    OpenRunLog();
    LogLine("probe %s %hs %lu", L"w\u00fc", "narrow", 7ul);
    SetEnvironmentVariableW(L"TMP", previousLength > 0 ? previous : nullptr);

    const std::string text = ReadWholeFile(log);
    const std::string kept = c.rotated || c.linked ? std::string() : stale;
    ASSERT_GE(text.size(), kept.size());
    EXPECT_TRUE(text.compare(0, kept.size(), kept) == 0) << "what the log held is kept before the line";
    const std::string line = text.substr(kept.size());
    const std::string shape = "0000-00-00 00:00:00.000 ";
    ASSERT_GT(line.size(), shape.size()) << line;
    for (size_t i = 0; i < shape.size(); ++i)
        EXPECT_TRUE(shape[i] == '0' ? isdigit(static_cast<unsigned char>(line[i])) != 0 : line[i] == shape[i]) << line;
    EXPECT_EQ(std::to_string(GetCurrentProcessId()) + " probe w\xC3\xBC narrow 7\r\n", line.substr(shape.size()));
    EXPECT_EQ(c.rotated, Exists(old));
    if (c.rotated)
        EXPECT_EQ(stale.size(), ReadWholeFile(old).size()) << "the grown log is moved whole";
    if (c.linked)
        EXPECT_TRUE(ReadWholeFile(other) == stale) << "the linked file is not written through";
}

INSTANTIATE_TEST_SUITE_P(EachInItsOwnProcess, RunLog,
                         ::testing::Values(RunLogCase{"New", 0, false, false},
                                           RunLogCase{"Full", 1024 * 1024, false, false},
                                           RunLogCase{"Grown", 1024 * 1024 + 1, false, true},
                                           RunLogCase{"Linked", 6, true, false}),
                         [](const ::testing::TestParamInfo<RunLogCase>& info) { return std::string(info.param.name); });

}  // namespace
