// Imports, the usual way, the DLLs that the installer delay-loads. Started
// from a folder with planted copies of them, it shows that Wine would load
// those copies for a program that does not guard against them.
#include <windows.h>
#include <commctrl.h>
#include <lm.h>
#include <wintrust.h>

int main()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    NetApiBufferFree(nullptr);
    WinVerifyTrust(nullptr, nullptr, nullptr);
    return 0;
}
