#include "app/InstallerApp.h"

#include "app/AssistantLauncher.h"
#include "app/MessageTables.h"
#include "app/UpdateManifest.h"
#include "app/VersionCompare.h"
#include "install/Installation.h"
#include "res/ProductVersion.h"
#include "system/DllSearch.h"
#include "system/OsVersion.h"
#include "system/Probes.h"
#include "system/RegistryKey.h"
#include "system/RunLog.h"
#include "system/TempPath.h"
#include "ui/InstallDlg.h"

const wchar_t kSingleInstanceMutexName[] = L"qxauto_mrv_corvane_single_instance";

CInstallerApp theApp;

namespace {

const char kProductKey[] = "Software\\Kestrix\\QXZELK_Assistant";

// Where the setup is downloaded to, in the temporary directory.
const wchar_t kSetupFileName[] = L"\\ZIDEVADID.EXE";

// A message box, and in the log what it said and how the customer answered.
int AskAndLog(const MessageSet& texts, const MessageChar* text, const wchar_t* name, UINT style)
{
    const int answer = MessageBoxW(nullptr, text, texts.m_strTitle, style);
    LogLine("box \"%s\" answered %hs", name, answer == IDOK ? "OK" : answer == IDRETRY ? "Retry" : "Cancel");
    return answer;
}

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
    OpenRunLog();
    LogLine("DA_Razi %hs starts on Windows %lu.%lu build %lu, system language 0x%04x, ANSI code page %u",
            RAZI_VERSION_TEXT, g_osVersion.m_osvi.dwMajorVersion, g_osVersion.m_osvi.dwMinorVersion,
            g_osVersion.m_osvi.dwBuildNumber, langId, GetACP());

    // The mutex's existence alone marks a running installer; a failed
    // creation only loses the guard.
    m_hMutex.Reset(CreateMutexW(nullptr, FALSE, kSingleInstanceMutexName));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        LogLine("another copy of the installer runs: this one ends");
        m_hMutex.Reset();
        return FALSE;
    }

    FillMessageSet(*this, langId);

    char offeredVersion[kVersionBufferSize] = {};
    if (!FetchUpdateManifest(offeredVersion, m_strDownloadUrl, m_setupPins))
        return FALSE;

    char installedVersion[kVersionBufferSize] = {};
    DWORD installedSize = kVersionBufferSize;
    if (ReadInstalledVersion(installedVersion, &installedSize)) {
        const int comparison = CompareVersions(installedVersion, offeredVersion);
        LogLine("installed version \"%hs\" against the offered one: %d (%hs)", installedVersion, comparison,
                comparison >= 0 ? "current, or not comparable" : "older");
        if (comparison >= 0) {
            LaunchAssistant();
            return FALSE;
        }
    } else {
        LogLine("no installed version read: registry error %lu", GetLastError());
    }

    for (;;) {
        const int online = IsOnline();
        LogLine("online: %d", online);
        if (online)
            break;
        if (AskAndLog(*this, m_strNoServer, L"no server", MB_RETRYCANCEL | MB_ICONQUESTION) != IDRETRY)
            return FALSE;
    }

    const int administrator = IsAdministrator();
    LogLine("administrator: %d", administrator);
    if (!administrator) {
        if (g_osVersion.IsVistaOrLater() && !IsUacEnabled()) {
            LogLine("UAC is off: no way to become an administrator");
            AskAndLog(*this, m_strCannotElevate, L"cannot elevate", MB_OK | MB_ICONERROR);
            return FALSE;
        }
        if (AskAndLog(*this, m_strNeedAdminPassword, L"administrator password needed",
                      MB_OKCANCEL | MB_ICONQUESTION) == IDCANCEL)
            return FALSE;
    }

    // Only the install dialog has a common control (its progress bar): a start
    // that finds the product current never loads comctl32.
    AfxInitCommonControls();
    wchar_t setupPath[kTempPathSize];
    BuildTempFilePath(setupPath, kSetupFileName);
    CInstallDlg dialog(*this, m_strDownloadUrl, setupPath, nullptr);
    dialog.m_setupPins = m_setupPins;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    LogLine("the install dialog has closed");
    AwaitSetupEnd();
    return FALSE;
}

int CInstallerApp::ExitInstance()
{
    m_hMutex.Reset();
    return CWinApp::ExitInstance();
}
