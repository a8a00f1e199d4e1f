// A DLL that exports nothing, planted next to the installer under the names
// of system DLLs: loading it is the fault the test looks for.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
