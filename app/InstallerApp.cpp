#include "app/InstallerApp.h"

#include "app/MessageSet.h"
#include "app/UpdateManifest.h"
#include "app/VersionCompare.h"
#include "system/AssistantLauncher.h"
#include "system/DllSearch.h"
#include "system/OsVersion.h"
#include "system/Probes.h"
#include "system/RegistryKey.h"
#include "ui/InstallDlg.h"

const char kSingleInstanceMutexName[] = "qxauto_mrv_corvane_single_instance";

CInstallerApp theApp;

namespace {

const char kProductKey[] = "Software\\Kestrix\\QXZELK_Assistant";

}  // namespace

bool CInstallerApp::ReadInstalledVersion(char* buffer, DWORD* size) const
{
    CRegistryKey key;
    return key.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_QUERY_VALUE) && QueryTextValue(key, "Version", buffer, *size);
}

BOOL CInstallerApp::InitInstance()
{
    // First, before anything loads a DLL that is not yet in the process.
    RestrictDllSearchToSystem();

    const unsigned int langId = GetSystemDefaultLangID();

    // The mutex's existence alone marks a running installer; a failed
    // creation only loses the guard.
    m_hMutex.Reset(CreateMutexA(nullptr, FALSE, kSingleInstanceMutexName));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        m_hMutex.Reset();
        return FALSE;
    }

    FillMessageSet(*this, langId);

    char offeredVersion[kVersionBufferSize] = {};
    if (!FetchUpdateManifest(offeredVersion, m_strDownloadUrl))
        return FALSE;

    char installedVersion[kVersionBufferSize] = {};
    DWORD installedSize = kVersionBufferSize;
    if (ReadInstalledVersion(installedVersion, &installedSize) &&
        CompareVersions(installedVersion, offeredVersion) >= 0) {
        LaunchAssistant();
        return FALSE;
    }

    while (!IsOnline()) {
        if (MessageBoxW(nullptr, m_strNoServer, m_strTitle, MB_RETRYCANCEL | MB_ICONQUESTION) != IDRETRY)
            return FALSE;
    }

    if (!IsAdministrator()) {
        if (g_osVersion.IsVistaOrLater() && !IsUacEnabled()) {
            MessageBoxW(nullptr, m_strCannotElevate, m_strTitle, MB_OK | MB_ICONERROR);
            return FALSE;
        }
        if (MessageBoxW(nullptr, m_strNeedAdminPassword, m_strTitle, MB_OKCANCEL | MB_ICONQUESTION) == IDCANCEL)
            return FALSE;
    }

    // Only the install dialog has a common control (its progress bar): a start
    // that finds the product current never loads comctl32.
    AfxInitCommonControls();
    CInstallDlg dialog(*this, m_strDownloadUrl, nullptr);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

int CInstallerApp::ExitInstance()
{
    m_hMutex.Reset();
    return CWinApp::ExitInstance();
}
