#include "InstallerApp.h"

#include "OsVersion.h"

const char kSingleInstanceMutexName[] = "qxauto_mrv_corvane_single_instance";

// Both globals live in this one file so that theApp is constructed before
// g_osVersion, in the order of their definitions.
CInstallerApp theApp;
COsVersion g_osVersion;

CInstallerApp::CInstallerApp() : m_hMutex(nullptr) {}

BOOL CInstallerApp::InitInstance()
{
    const unsigned int langId = GetSystemDefaultLangID();

    AfxInitCommonControls();

    m_hMutex = CreateMutexA(nullptr, FALSE, kSingleInstanceMutexName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(m_hMutex);
        m_hMutex = nullptr;
        return FALSE;
    }

    FillMessageSet(langId);
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
