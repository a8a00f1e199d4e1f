#include "framework/AfxWin.h"

#include <commctrl.h>

namespace {

CWinApp* g_pCurrentApp = nullptr;

}  // namespace

CWinApp::CWinApp() : m_hInstance(nullptr), m_pMainWnd(nullptr), m_nQuitCode(0)
{
    g_pCurrentApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pCurrentApp == this)
        g_pCurrentApp = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return m_nQuitCode;
}

int CWinApp::Run()
{
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (got == 0)
        m_nQuitCode = static_cast<int>(msg.wParam);
    return ExitInstance();
}

CWinApp* AfxGetApp()
{
    return g_pCurrentApp;
}

int AfxWinMain(CWinApp& app, HINSTANCE instance)
{
    app.m_hInstance = instance;
    if (!app.InitInstance())
        return app.ExitInstance();
    return app.Run();
}

void AfxInitCommonControls()
{
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);
}
