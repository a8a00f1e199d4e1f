#include "framework/AfxWin.h"

#include <math.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CWinApp* app = AfxGetApp();
    return app ? AfxWinMain(*app, instance) : 0;
}

// The math error handler, replaced in the executable as Microsoft documents
// for the C run-time: the library's own writes to a console that a GUI
// program does not have, and costs the exe half a KiB. Nothing here calls a
// math function; a 0 keeps the run-time's default, setting errno.
extern "C" int __cdecl _matherr(struct _exception*)
{
    return 0;
}
