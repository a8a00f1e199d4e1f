#include "InstallerApp.h"

#include "AssistantLauncher.h"
#include "DllSearch.h"
#include "InstallDlg.h"
#include "OsVersion.h"
#include "Probes.h"
#include "RegistryKey.h"
#include "VersionCompare.h"

const char kSingleInstanceMutexName[] = "qxauto_mrv_corvane_single_instance";

// Both globals live in this one file so that theApp is constructed before
// g_osVersion, in the order of their definitions.
CInstallerApp theApp;
COsVersion g_osVersion;

namespace {

const char kProductKey[] = "Software\\Kestrix\\QXZELK_Assistant";

}  // namespace

CInstallerApp::CInstallerApp() : m_hMutex(nullptr) {}

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

    AfxInitCommonControls();

    // The mutex's existence alone marks a running installer; a failed
    // creation only loses the guard.
    m_hMutex = CreateMutexA(nullptr, FALSE, kSingleInstanceMutexName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(m_hMutex);
        m_hMutex = nullptr;
        return FALSE;
    }

    FillMessageSet(langId);

    char offeredVersion[kVersionBufferSize] = {};
    if (!FetchUpdateManifest(offeredVersion))
        return FALSE;

    char installedVersion[kVersionBufferSize] = {};
    DWORD installedSize = kVersionBufferSize;
    if (ReadInstalledVersion(installedVersion, &installedSize) &&
        CompareVersions(installedVersion, offeredVersion) >= 0) {
        LaunchAssistant();
        return FALSE;
    }

    while (!IsOnline()) {
        if (MessageBoxA(nullptr, m_strNoServer, m_strTitle, MB_RETRYCANCEL | MB_ICONQUESTION) != IDRETRY)
            return FALSE;
    }

    if (!IsAdministrator()) {
        if (g_osVersion.IsVistaOrLater() && !IsUacEnabled()) {
            MessageBoxA(nullptr, m_strCannotElevate, m_strTitle, MB_OK | MB_ICONERROR);
            return FALSE;
        }
        if (MessageBoxA(nullptr, m_strNeedAdminPassword, m_strTitle, MB_OKCANCEL | MB_ICONQUESTION) == IDCANCEL)
            return FALSE;
    }

    CInstallDlg dialog(nullptr);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

int CInstallerApp::ExitInstance()
{
    if (m_hMutex) {
        CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
    return CWinApp::ExitInstance();
}
