#include "system/Probes.h"

#include "framework/AfxHandle.h"
#include "system/LaunchVerb.h"
#include "system/OsVersion.h"
#include "system/RegistryKey.h"

#include <windows.h>
#include <lm.h>
#include <wininet.h>

namespace {

// A record that the account database hands out.
typedef CUniqueAny<BYTE*, NetApiBufferFree> CNetApiBuffer;

const char kPolicySystemKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\\";

}  // namespace

int IsAdministrator()
{
    WCHAR userName[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!GetUserNameW(userName, &size))
        return 0;
    CNetApiBuffer record;
    if (NetUserGetInfo(nullptr, userName, 1, record.Receive()) != NERR_Success || !record.IsValid())
        return 0;
    return reinterpret_cast<const USER_INFO_1*>(record.Get())->usri1_priv == USER_PRIV_ADMIN ? 1 : 0;
}

int IsUacEnabled()
{
    if (!g_osVersion.IsVistaOrLater())
        return 0;
    CRegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kPolicySystemKey, KEY_READ))
        return 0;
    DWORD enableLua = 0;
    DWORD size = sizeof(enableLua);
    if (!key.QueryValue("EnableLUA", &enableLua, size))
        return 0;
    return enableLua != 0 ? 1 : 0;
}

int IsOnline()
{
    DWORD flags = 0;
    if (!InternetGetConnectedState(&flags, 0))
        return 0;
    return (flags & INTERNET_CONNECTION_OFFLINE) ? 0 : 1;
}

const char* GetLaunchVerb()
{
    return SelectLaunchVerb(g_osVersion.IsVistaOrLater(), IsAdministrator);
}
