#include "framework/AfxHandle.h"
#include "framework/AfxWin.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

class RecordingApp : public CWinApp {
public:
    explicit RecordingApp(BOOL initResult) : m_initResult(initResult) {}

    BOOL InitInstance() override
    {
        m_trace += "init ";
        if (m_initResult)
            PostQuitMessage(7);
        return m_initResult;
    }
    int ExitInstance() override
    {
        m_trace += "exit ";
        return CWinApp::ExitInstance() + 100;
    }

    std::string m_trace;

private:
    BOOL m_initResult;
};

TEST(AppModel, FalseFromInitInstanceSkipsTheMessageLoop)
{
    RecordingApp app(FALSE);
    EXPECT_EQ(&app, AfxGetApp());
    EXPECT_EQ(100, AfxWinMain(app, GetModuleHandleA(nullptr)));
    EXPECT_EQ("init exit ", app.m_trace);
    EXPECT_EQ(GetModuleHandleA(nullptr), app.m_hInstance);
}

TEST(AppModel, TrueFromInitInstanceRunsTheLoopUntilQuit)
{
    RecordingApp app(TRUE);
    EXPECT_EQ(107, AfxWinMain(app, GetModuleHandleA(nullptr)));
    EXPECT_EQ("init exit ", app.m_trace);
}

int g_closed = 0;

BOOL WINAPI CountClose(HANDLE)
{
    ++g_closed;
    return TRUE;
}

typedef CUniqueAny<HANDLE, CountClose> CCountedHandle;

TEST(UniqueHandle, ChangesOwnerByMoveAndIsClosedOnce)
{
    g_closed = 0;
    HANDLE const first = reinterpret_cast<HANDLE>(1), second = reinterpret_cast<HANDLE>(2);
    {
        CCountedHandle source(first);
        CCountedHandle target(std::move(source));
        EXPECT_FALSE(source.IsValid());
        EXPECT_EQ(first, target.Get());

        CCountedHandle other(second);
        other = std::move(target);
        EXPECT_EQ(1, g_closed) << "the handle that was overwritten is closed";
        EXPECT_EQ(first, other.Get());
        EXPECT_FALSE(target.IsValid());
        other = std::move(other);
        EXPECT_EQ(first, other.Get()) << "a move to itself keeps the handle";
    }
    EXPECT_EQ(2, g_closed) << "each handle is closed exactly once";
}

// CreateFile answers INVALID_HANDLE_VALUE when it fails, never null.
TEST(UniqueHandle, FileOwnsNothingAtInvalidHandleValue)
{
    EXPECT_EQ(INVALID_HANDLE_VALUE, CUniqueFile().Get());
    const CUniqueFile missing(
        CreateFileW(L"C:\\no-such-folder\\no-such-file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(INVALID_HANDLE_VALUE, missing.Get());
    EXPECT_FALSE(missing.IsValid());

    wchar_t folder[MAX_PATH] = {};
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, folder));
    const std::wstring path = std::wstring(folder) + L"unique-file.tmp";
    CUniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE,
                                 nullptr));
    ASSERT_TRUE(file.IsValid()) << GetLastError();
    file.Reset();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str())) << "Reset closes the file";
    EXPECT_FALSE(file.IsValid());

    // Receive hands out a clean slot: what the owner held is closed first.
    file = CUniqueFile(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE,
                                   nullptr));
    ASSERT_TRUE(file.IsValid()) << GetLastError();
    HANDLE* const slot = file.Receive();
    EXPECT_EQ(INVALID_HANDLE_VALUE, *slot);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str())) << "Receive closes the file it held";
}

}  // namespace
