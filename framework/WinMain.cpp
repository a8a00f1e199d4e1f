#include "framework/AfxWin.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CWinApp* app = AfxGetApp();
    return app ? AfxWinMain(*app, instance) : 0;
}
