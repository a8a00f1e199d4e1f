#include "ui/Workers.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

class DownloadCallback : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        m_bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 100, 10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_bar);
        SendMessageA(m_bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        g_bCancel = 0;
    }
    void TearDown() override
    {
        DestroyWindow(m_bar);
        g_bCancel = 0;
    }
    int Position() const { return static_cast<int>(SendMessageA(m_bar, PBM_GETPOS, 0, 0)); }

    HWND m_bar = nullptr;
};

TEST_F(DownloadCallback, MovesTheBarUntilCancelled)
{
    CDownloadCallback callback(m_bar);
    EXPECT_EQ(S_OK, callback.OnProgress(1, 3, 0, nullptr));
    EXPECT_EQ(33, Position());
    EXPECT_EQ(S_OK, callback.OnProgress(7, 3, 0, nullptr));
    EXPECT_EQ(100, Position()) << "the bar clamps what is above its range";
    EXPECT_EQ(S_OK, callback.OnProgress(5, 0, 0, nullptr));
    EXPECT_EQ(0, Position());

    InterlockedExchange(&g_bCancel, 1);
    EXPECT_EQ(E_ABORT, callback.OnProgress(2, 3, 0, nullptr));
    EXPECT_EQ(0, Position()) << "an aborted report does not move the bar";
}

TEST_F(DownloadCallback, OffersNothingElse)
{
    CDownloadCallback callback(m_bar);
    void* object = &callback;
    EXPECT_EQ(E_NOTIMPL, callback.QueryInterface(IID_IUnknown, &object));
    EXPECT_EQ(0u, callback.AddRef());
    EXPECT_EQ(0u, callback.Release());
    EXPECT_EQ(E_NOTIMPL, callback.OnStartBinding(0, nullptr));
    EXPECT_EQ(E_NOTIMPL, callback.GetBindInfo(nullptr, nullptr));
}

}  // namespace
