#include "system/DownloadLimits.h"
#include "ui/DownloadCallback.h"

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
    EXPECT_EQ(E_INVALIDARG, callback.OnStartBinding(0, nullptr));
    EXPECT_EQ(E_NOTIMPL, callback.GetBindInfo(nullptr, nullptr));
}

// A binding that counts its references and aborts.
class CountingBinding : public IBinding {
public:
    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++references; }
    STDMETHOD_(ULONG, Release)() override { return --references; }
    STDMETHOD(Abort)() override
    {
        ++aborts;
        return S_OK;
    }
    STDMETHOD(Suspend)() override { return E_NOTIMPL; }
    STDMETHOD(Resume)() override { return E_NOTIMPL; }
    STDMETHOD(SetPriority)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(GetPriority)(LONG*) override { return E_NOTIMPL; }
    STDMETHOD(GetBindResult)(CLSID*, DWORD*, LPOLESTR*, DWORD*) override { return E_NOTIMPL; }

    ULONG references = 1;
    int aborts = 0;
};

TEST_F(DownloadCallback, AbortsTheBindingOnceAfterTheSilenceLimit)
{
    CountingBinding binding;
    {
        CDownloadCallback callback(m_bar);
        EXPECT_EQ(S_OK, callback.OnStartBinding(0, &binding));
        EXPECT_EQ(2u, binding.references) << "the callback keeps the binding";
        const DWORD reported = GetTickCount();
        EXPECT_EQ(S_OK, callback.OnProgress(1, 3, 0, nullptr));
        callback.AbortIfSilent(reported + kDownloadSilenceLimitMs / 2);
        EXPECT_EQ(0, binding.aborts) << "not silent for long enough";
        callback.AbortIfSilent(reported + kDownloadSilenceLimitMs * 2);
        callback.AbortIfSilent(reported + kDownloadSilenceLimitMs * 3);
        EXPECT_EQ(1, binding.aborts);
        EXPECT_EQ(S_OK, callback.OnStopBinding(E_ABORT, nullptr));
        EXPECT_EQ(1u, binding.references) << "the binding is let go when it stops";
    }
    {
        CDownloadCallback callback(m_bar);
        callback.OnStartBinding(0, &binding);
        callback.OnStopBinding(S_OK, nullptr);
        callback.AbortIfSilent(GetTickCount() + kDownloadSilenceLimitMs * 2);
        EXPECT_EQ(1, binding.aborts) << "a stopped binding is not aborted";
    }
    {
        CDownloadCallback callback(m_bar);
        callback.OnStartBinding(0, &binding);
    }
    EXPECT_EQ(1u, binding.references) << "a binding that never stopped is let go with the callback";
}

}  // namespace
