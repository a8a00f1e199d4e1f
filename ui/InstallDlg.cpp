#include "InstallDlg.h"

#include "AfxSync.h"

#include "InstallStatus.h"
#include "InstallerApp.h"
#include "ModuleLookUp.h"
#include "Probes.h"
#include "SignatureCheck.h"
#include "TempPath.h"
#include "Workers.h"
#include "resource.h"

#include <process.h>

#include <cstring>

namespace {

// Which install dialog, if any, workers may still read. A worker copies what
// it needs under this lock; the dialog's destructor takes it too, so a
// worker never reads a dialog that is being or has been destroyed. Nothing
// that waits for another thread runs while it is held.
CRITICAL_SECTION g_csDialogLife;
CInstallDlg* g_pLiveDialog = nullptr;

const int kFadeSteps = 3000;
const int kFadeStart = 255 * kFadeSteps;
const int kFadeDecrement = 255;

// The locks outlive every dialog and worker: set up once, never deleted.
void InitializeLocksOnce()
{
    static bool initialized = false;
    if (!initialized) {
        InitializeCriticalSection(&g_csWorker);
        InitializeCriticalSection(&g_csDialogLife);
        initialized = true;
    }
}

// Opens the downloaded setup for reading with read sharing only. A fresh
// download is often opened for a moment by others (a virus scanner, say),
// which makes the open fail with a sharing violation; that is retried for a
// short while before the file counts as unusable.
HANDLE OpenSetupExclusively(const char* path)
{
    const int kAttempts = 20;
    const DWORD kPauseMs = 100;
    for (int attempt = 1;; ++attempt) {
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION || attempt == kAttempts)
            return file;
        Sleep(kPauseMs);
    }
}

HANDLE StartWorker(unsigned(__stdcall* entry)(void*), CInstallDlg* dialog)
{
    unsigned threadId = 0;
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, entry, dialog, 0, &threadId));
}

}  // namespace

const AFX_MSGMAP_ENTRY CInstallDlg::kMessageMap[] = {
    ON_MESSAGE(WM_SYSCOMMAND, &CInstallDlg::OnSysCommand),
    ON_MESSAGE(WM_PAINT, &CInstallDlg::OnPaint),
    ON_MESSAGE(WM_QUERYDRAGICON, &CInstallDlg::OnQueryDragIcon),
    ON_MESSAGE(WM_INSTALL_STATUS, &CInstallDlg::OnInstallStatus),
    ON_MESSAGE(WM_CLOSE, &CInstallDlg::OnClose),
    END_MESSAGE_MAP(),
};

CInstallDlg::CInstallDlg(CWnd* parent)
    : CDialog(IDD_INSTALL_DIALOG, parent), m_pfnPathFileExists(nullptr), m_hShlwapi(nullptr), m_hUser32(nullptr),
      m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))), m_hVerifiedSetup(nullptr)
{
    InitializeLocksOnce();
    CCriticalSectionLock life(g_csDialogLife);
    g_pLiveDialog = this;
}

CInstallDlg::~CInstallDlg()
{
    CCriticalSectionLock life(g_csDialogLife);
    if (g_pLiveDialog == this)
        g_pLiveDialog = nullptr;
    ReleaseVerifiedSetup();
}

const AFX_MSGMAP_ENTRY* CInstallDlg::GetMessageMap() const
{
    return kMessageMap;
}

bool CInstallDlg::TakeWorkerView(void* dialog, bool forRunner, CWorkerView& view)
{
    std::memset(&view, 0, sizeof(view));
    CCriticalSectionLock life(g_csDialogLife);
    CInstallDlg* live = g_pLiveDialog;
    if (!dialog || dialog != live)
        return false;
    view.hDialog = live->m_hWnd;
    view.hProgress = live->m_wndProgress.m_hWnd;
    lstrcpynA(view.szUrl, live->m_strUrl, sizeof(view.szUrl));
    view.pfnPathFileExists = live->m_pfnPathFileExists;
    if (forRunner) {
        view.hVerifiedSetup = live->m_hVerifiedSetup;
        live->m_hVerifiedSetup = nullptr;
        view.pszVerb = GetLaunchVerb();
    }
    return true;
}

void CInstallDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_STATUS, m_wndStatus);
    DDX_Control(pDX, IDC_PROGRESS, m_wndProgress);
}

BOOL CInstallDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE);
    if (systemMenu) {
        char aboutText[256] = {};
        LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, aboutText, sizeof(aboutText));
        if (aboutText[0] != '\0') {
            AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    SetWindowText(theApp.m_strTitle);
    SetDlgItemTextA(m_hWnd, IDOK, theApp.m_strRetry);
    SetDlgItemTextA(m_hWnd, IDCANCEL, theApp.m_strExit);

    SetTopmost(true);

    m_hUser32 = LoadLibraryA("USER32.dll");
    SetWindowLongA(m_hWnd, GWL_EXSTYLE, GetWindowLongA(m_hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    if (m_hUser32)
        SetLayeredAttributes(m_hWnd, 0, 255, LWA_ALPHA);

    m_hShlwapi = LoadLibraryA("shlwapi.dll");
    if (m_hShlwapi)
        m_pfnPathFileExists = LookUp<PathFileExistsFn>(m_hShlwapi, "PathFileExistsA");

    m_wndProgress.SetRange(0, 100);
    m_strUrl = theApp.m_strDownloadUrl;
    SetStatus(theApp.m_strConnecting);
    StartDownload();
    return TRUE;
}

BOOL CInstallDlg::SetLayeredAttributes(HWND window, COLORREF key, BYTE alpha, DWORD flags)
{
    if (!m_hUser32)
        return TRUE;
    typedef BOOL(WINAPI * SetLayeredWindowAttributesFn)(HWND, COLORREF, BYTE, DWORD);
    const SetLayeredWindowAttributesFn setAttributes =
        LookUp<SetLayeredWindowAttributesFn>(m_hUser32, "SetLayeredWindowAttributes");
    if (!setAttributes)
        return FALSE;
    return setAttributes(window, key, alpha, flags);
}

void CInstallDlg::StartDownload()
{
    HANDLE worker = StartWorker(DownloadThreadProc, this);
    if (worker) {
        g_bCancel = 0;
        EnableWindow(GetDlgItem(IDOK), FALSE);
        CloseHandle(worker);
    } else {
        SetStatus(theApp.m_strSystemError);
        OfferRetry();
    }
}

void CInstallDlg::OnOK()
{
    // Retry is enabled only while no worker is at work. A Retry that comes
    // while it is disabled (a click queued behind the first one, Enter, a
    // posted command) would queue a second worker behind the running one.
    if (!IsWindowEnabled(GetDlgItem(IDOK)))
        return;
    m_wndProgress.SetRange(0, 100);
    SetStatus(theApp.m_strConnecting);
    StartDownload();
}

void CInstallDlg::OnCancel()
{
    InterlockedExchange(&g_bCancel, 1);
    for (int n = kFadeStart; n >= 0; n -= kFadeDecrement)
        SetLayeredAttributes(m_hWnd, 0, static_cast<BYTE>(n / kFadeSteps), LWA_ALPHA);
    if (m_hUser32) {
        FreeLibrary(m_hUser32);
        m_hUser32 = nullptr;
    }
    if (m_hShlwapi) {
        // The exe imports shlwapi itself, so this only drops our reference:
        // a worker's copy of PathFileExistsA stays callable.
        FreeLibrary(m_hShlwapi);
        m_hShlwapi = nullptr;
    }
    CDialog::OnCancel();
}

void CInstallDlg::OfferRetry()
{
    // Every failure text asks the customer to retry: the download worker hid
    // both buttons, so they are shown again for the customer to act on.
    EnableWindow(GetDlgItem(IDOK), TRUE);
    ShowWindow(GetDlgItem(IDOK), SW_SHOW);
    ShowWindow(GetDlgItem(IDCANCEL), SW_SHOW);
}

void CInstallDlg::SetTopmost(bool topmost)
{
    SetWindowPos(m_hWnd, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CInstallDlg::SetStatus(const char* text)
{
    m_wndStatus.SetWindowText(text);
}

void CInstallDlg::ReleaseVerifiedSetup()
{
    if (m_hVerifiedSetup) {
        CloseHandle(m_hVerifiedSetup);
        m_hVerifiedSetup = nullptr;
    }
}

void CInstallDlg::OnDownloadDone()
{
    char path[kTempPathSize];
    BuildTempFilePath(path, kSetupFileName);

    // Held from before the check until the runner has started the setup:
    // others may read it, but nobody can write, delete or rename it, so the
    // bytes that were verified are the bytes that run.
    ReleaseVerifiedSetup();
    HANDLE held = OpenSetupExclusively(path);
    if (held == INVALID_HANDLE_VALUE || !VerifySetupSignature(path)) {
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        SetStatus(theApp.m_strVerifyFailed);
        OfferRetry();
        return;
    }
    m_hVerifiedSetup = held;

    SetStatus(theApp.m_strInstalling);
    SetTopmost(false);
    HANDLE runner = StartWorker(InstallThreadProc, this);
    if (runner) {
        CloseHandle(runner);
    } else {
        ReleaseVerifiedSetup();
        SetStatus(theApp.m_strSystemError);
        OfferRetry();
        SetTopmost(true);
    }
}

LRESULT CInstallDlg::OnInstallStatus(WPARAM code, LPARAM)
{
    switch (code) {
    case STATUS_DOWNLOAD_FAILED:
        OfferRetry();
        m_wndProgress.SetPos(0);
        SetStatus(theApp.m_strDownloadFailed);
        break;
    case STATUS_DOWNLOAD_DONE:
        OnDownloadDone();
        break;
    case STATUS_DOWNLOAD_STARTED:
        SetStatus(theApp.m_strDownloading);
        break;
    case STATUS_INSTALL_FAILED:
        SetStatus(theApp.m_strSystemError);
        OfferRetry();
        SetTopmost(true);
        break;
    case STATUS_INSTALL_DONE:
        ShowWindow(GetDlgItem(IDOK), SW_HIDE);
        ShowWindow(GetDlgItem(IDC_PROGRESS), SW_HIDE);
        SetDlgItemTextA(m_hWnd, IDCANCEL, theApp.m_strFinish);
        ShowWindow(GetDlgItem(IDCANCEL), SW_SHOW);
        SetStatus(theApp.m_strInstalled);
        UpdateWindow(m_hWnd);
        break;
    default:
        break;
    }
    return 1;
}

LRESULT CInstallDlg::OnSysCommand(WPARAM id, LPARAM)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
        return 0;
    }
    return Default();
}

LRESULT CInstallDlg::OnPaint(WPARAM, LPARAM)
{
    if (!IsIconic(m_hWnd))
        return Default();
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
    return 0;
}

LRESULT CInstallDlg::OnQueryDragIcon(WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>(m_hIcon);
}

LRESULT CInstallDlg::OnClose(WPARAM, LPARAM)
{
    return Default();
}

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX, nullptr) {}
