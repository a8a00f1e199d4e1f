#pragma once

#include <windows.h>

class CWnd;

// The application object. The program defines one static instance of a
// derived class; the entry point runs InitInstance, which may do the whole
// run itself and return false, in which case no message loop is entered.
class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();

    virtual BOOL InitInstance();
    // Its result is the process exit code: by default the code of the
    // WM_QUIT that ended the message loop, 0 when no loop ran.
    virtual int ExitInstance();
    // Pumps messages until WM_QUIT, then returns ExitInstance's result.
    virtual int Run();

    HINSTANCE m_hInstance;
    CWnd* m_pMainWnd;

private:
    int m_nQuitCode;

    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
};

// The application object constructed last, or null.
CWinApp* AfxGetApp();

// The body of the program's entry point.
int AfxWinMain(CWinApp& app, HINSTANCE instance);

// Registers the common control classes that the dialogs use.
void AfxInitCommonControls();
