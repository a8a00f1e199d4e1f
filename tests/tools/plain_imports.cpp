// Imports, the usual way, the DLLs that the installer delay-loads or loads
// first from the system folder (secur32, crypt32, for TLS). Started
// from a folder with planted copies of them, it shows that Wine would load
// those copies for a program that does not guard against them.
#include <windows.h>
#include <commctrl.h>
#include <lm.h>
#include <urlmon.h>
#include <wininet.h>
#include <wintrust.h>
#define SECURITY_WIN32
#include <security.h>

int main()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    NetApiBufferFree(nullptr);
    WinVerifyTrust(nullptr, nullptr, nullptr);
    CreateAsyncBindCtx(0, nullptr, nullptr, nullptr);
    InternetGetConnectedState(nullptr, 0);
    InitSecurityInterfaceW();
    CertCloseStore(nullptr, 0);
    return 0;
}
