#include "framework/AfxWin.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
