#include "ui/DownloadWatchdog.h"

#include "ui/DownloadCallback.h"

// How the watchdog reaches a thread that is blocked in the download call.
//
// URLDownloadToFile runs the transfer on the calling thread's apartment and
// calls back only when something arrives, so while the server is silent no
// code of ours runs on that thread, and the binding may be aborted only from
// it. But the call waits by retrieving messages: the download service moves
// its notifications to this thread as messages to a hidden window here. On
// Windows (and in Wine), every PeekMessage or GetMessage also delivers the
// messages that other threads sent to this thread's windows, whatever filter
// it passes. So a pool timer sends (without waiting) a tick to a
// message-only window of the download's thread; the tick runs there, inside
// the download call, and the abort is made on the thread that owns the
// binding. IBinding::Abort then ends the call with a failure.
namespace {

const wchar_t kWindowClass[] = L"DA_Razi download watchdog";
const UINT kTickMessage = WM_APP;
const DWORD kTickIntervalMs = 1000;

LRESULT CALLBACK WatchdogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kTickMessage)
        return DefWindowProcW(window, message, wParam, lParam);
    CDownloadCallback* callback = reinterpret_cast<CDownloadCallback*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (callback)
        callback->AbortIfSilent(GetTickCount());
    return 0;
}

VOID CALLBACK SendTick(PVOID window, BOOLEAN)
{
    // Returns at once: the pool thread never waits for the download's thread.
    SendNotifyMessageW(static_cast<HWND>(window), kTickMessage, 0, 0);
}

}  // namespace

CDownloadWatchdog::CDownloadWatchdog(CDownloadCallback& callback)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WatchdogWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    // A second download registers it again, which fails harmlessly.
    RegisterClassW(&windowClass);
    m_hWindow.Reset(CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr));
    if (!m_hWindow.IsValid())
        return;
    SetWindowLongPtrW(m_hWindow.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&callback));
    HANDLE timer = nullptr;
    if (CreateTimerQueueTimer(&timer, nullptr, SendTick, m_hWindow.Get(), kTickIntervalMs, kTickIntervalMs,
                              WT_EXECUTEDEFAULT))
        m_hTimer.Reset(timer);
}
