#include "ui/InstallDlg.h"

#include "install/DownloadCallback.h"
#include "install/InstallStatus.h"
#include "install/Installation.h"
#include "res/resource.h"
#include "system/ModuleLookUp.h"
#include "system/RunLog.h"
#include "system/WideText.h"
#include "ui/StatusLine.h"

namespace {

// The exit fade is defined by its steps, not by time: 3001 unpaced steps of
// alpha from 255 down to 0, 3000 intervals apart.
const int kFadeIntervals = 3000;
const int kFadeStart = 255 * kFadeIntervals;
const int kFadeDecrement = 255;

// UI Automation's LiveSetting property and its values (Polite, Assertive),
// which the SDK's headers here do not carry.
const GUID kLiveSettingProperty = {0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
const LONG kLivePolite = 1;
const LONG kLiveAssertive = 2;

// A status's name for the log, in English whatever language it is shown in.
const wchar_t* StatusName(const MessageSet& texts, const MessageChar* text)
{
    const struct {
        const MessageChar* MessageSet::*slot;
        const wchar_t* name;
    } names[] = {
        {&MessageSet::m_strConnecting, L"connecting"},         {&MessageSet::m_strDownloading, L"downloading"},
        {&MessageSet::m_strDownloadFailed, L"download failed"}, {&MessageSet::m_strVerifyFailed, L"verify failed"},
        {&MessageSet::m_strInstalling, L"installing"},         {&MessageSet::m_strSystemError, L"install failed"},
        {&MessageSet::m_strInstalled, L"installed"},
    };
    for (const auto& entry : names) {
        if (texts.*entry.slot == text)
            return entry.name;
    }
    return L"?";
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

CInstallDlg::CInstallDlg(const MessageSet& texts, const char* downloadUrl, const wchar_t* setupPath, CWnd* parent)
    : CDialog(IDD_INSTALL_DIALOG, parent), m_setupPins(), m_pfnPathFileExists(nullptr), m_strUrl(downloadUrl),
      m_hIcon(LoadIconA(GetModuleHandleW(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))), m_texts(texts),
      m_rcStatusArea()
{
    lstrcpynW(m_szSetupPath, setupPath, kTempPathSize);
}

const AFX_MSGMAP_ENTRY* CInstallDlg::GetMessageMap() const
{
    return kMessageMap;
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
        // Wide: the item is Chinese whatever the system's code page holds.
        wchar_t aboutText[256] = {};
        LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, aboutText, sizeof(aboutText) / sizeof(aboutText[0]));
        if (aboutText[0] != L'\0') {
            AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    SetWindowText(m_texts.m_strTitle);
    SetDlgItemTextW(m_hWnd, IDOK, m_texts.m_strRetry);
    SetDlgItemTextW(m_hWnd, IDCANCEL, m_texts.m_strExit);

    SetTopmost(true);

    m_hUser32.Reset(LoadLibraryA("USER32.dll"));
    SetWindowLongW(m_hWnd, GWL_EXSTYLE, GetWindowLongW(m_hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredAttributes(m_hWnd, 0, 255, LWA_ALPHA);

    m_hShlwapi.Reset(LoadLibraryA("shlwapi.dll"));
    if (m_hShlwapi.IsValid())
        m_pfnPathFileExists = LookUp<PathFileExistsFn>(m_hShlwapi.Get(), "PathFileExistsW");

    // The status line's place in the template, which every text is fitted into.
    GetWindowRect(m_wndStatus.m_hWnd, &m_rcStatusArea);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&m_rcStatusArea), 2);

    // Direct annotation: oleacc is created through COM from its registered
    // path in the system folder, never imported, so no planted copy loads.
    // Without the service (Wine has only stubs) the dialog works unannotated.
    CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                     reinterpret_cast<void**>(m_accProps.Receive()));
    // The bar's name says what it measures; its template text is no name.
    // The method only reads the text (LPCWSTR in its documentation; the
    // SDK's header here drops the const).
    if (m_accProps.IsValid())
        m_accProps.Get()->SetHwndPropStr(m_wndProgress.m_hWnd, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME,
                                         const_cast<wchar_t*>(m_texts.m_strDownloading));

    m_wndProgress.SetRange(0, 100);
    SetStatus(m_texts.m_strConnecting);
    StartDownload();
    return TRUE;
}

BOOL CInstallDlg::SetLayeredAttributes(HWND window, COLORREF key, BYTE alpha, DWORD flags)
{
    if (!m_hUser32.IsValid())
        return TRUE;
    typedef BOOL(WINAPI * SetLayeredWindowAttributesFn)(HWND, COLORREF, BYTE, DWORD);
    const SetLayeredWindowAttributesFn setAttributes =
        LookUp<SetLayeredWindowAttributesFn>(m_hUser32.Get(), "SetLayeredWindowAttributes");
    if (!setAttributes)
        return FALSE;
    return setAttributes(window, key, alpha, flags);
}

void CInstallDlg::StartDownload()
{
    SetupDownloadJob job;
    job.hDialog = m_hWnd;
    job.hProgress = m_wndProgress.m_hWnd;
    WidenAnsiText(m_strUrl, job.szUrl, sizeof(job.szUrl) / sizeof(job.szUrl[0]));
    lstrcpynW(job.szSetupPath, m_szSetupPath, kTempPathSize);
    job.pfnPathFileExists = m_pfnPathFileExists;
    job.pins = m_setupPins;
    if (StartSetupDownload(job)) {
        g_bCancel = 0;
        EnableWindow(GetDlgItem(IDOK), FALSE);
    } else {
        OfferRetry(m_texts.m_strSystemError);
    }
}

void CInstallDlg::OnOK()
{
    // Retry is enabled only while no worker is at work. A Retry that comes
    // while it is disabled (a click queued behind the first one, Enter, a
    // posted command) would queue a second worker behind the running one.
    if (!IsWindowEnabled(GetDlgItem(IDOK)))
        return;
    LogLine("Retry pressed");
    m_wndProgress.SetRange(0, 100);
    SetStatus(m_texts.m_strConnecting);
    StartDownload();
}

void CInstallDlg::OnCancel()
{
    LogLine("Exit pressed");
    InterlockedExchange(&g_bCancel, 1);
    for (int n = kFadeStart; n >= 0; n -= kFadeDecrement)
        SetLayeredAttributes(m_hWnd, 0, static_cast<BYTE>(n / kFadeIntervals), LWA_ALPHA);
    m_hUser32.Reset();
    // The exe imports shlwapi itself, so this only drops our reference: a
    // worker's copy of PathFileExistsW stays callable.
    m_hShlwapi.Reset();
    CDialog::OnCancel();
}

void CInstallDlg::OfferRetry(const MessageChar* failureText)
{
    // Every failure text asks the customer to retry: the download worker hid
    // both buttons, so they are shown again for the customer to act on.
    EnableWindow(GetDlgItem(IDOK), TRUE);
    ShowWindow(GetDlgItem(IDOK), SW_SHOW);
    ShowWindow(GetDlgItem(IDCANCEL), SW_SHOW);
    FocusButton(IDOK);
    SetStatus(failureText, true);
}

// The focus is moved before the new text is announced, so that a screen
// reader reads the outcome and then the button that Enter presses.
// DM_SETDEFID makes the button the dialog's default, which Enter presses
// wherever the focus is (the template's default is Retry, hidden after
// success); WM_NEXTDLGCTL then moves the focus and the default border to it.
// Sent, not posted: this thread moves the focus nowhere else meanwhile.
void CInstallDlg::FocusButton(int id)
{
    SendMessage(DM_SETDEFID, id);
    SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(id)), TRUE);
}

void CInstallDlg::SetTopmost(bool topmost)
{
    SetWindowPos(m_hWnd, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// The status line is a live region, as Microsoft's Accessibility Insights
// page "Win32: A screen reader isn't announcing an update to a status
// string or error string" shows: its LiveSetting annotated through
// IAccPropServices::SetHwndProp, then EVENT_OBJECT_LIVEREGIONCHANGED raised
// on it after each new text, so that a screen reader reads it out wherever
// the user is.
void CInstallDlg::SetStatus(const MessageChar* text, bool urgent)
{
    LogLine("the dialog shows: %s", StatusName(m_texts, text));
    const HWND status = m_wndStatus.m_hWnd;
    if (m_accProps.IsValid()) {
        VARIANT liveSetting = {};
        liveSetting.vt = VT_I4;
        liveSetting.lVal = urgent ? kLiveAssertive : kLivePolite;
        m_accProps.Get()->SetHwndProp(status, OBJID_CLIENT, CHILDID_SELF, kLiveSettingProperty, liveSetting);
    }
    ShowStatusText(status, m_rcStatusArea, text);
    NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, status, OBJID_CLIENT, CHILDID_SELF);
}

void CInstallDlg::OnDownloadDone()
{
    // Held from before its check until the runner has taken it over.
    CUniqueFile verifiedSetup;
    const HoldOutcome outcome = HoldVerifiedSetup(m_szSetupPath, m_setupPins, verifiedSetup);
    if (outcome == HOLD_NOT_DOWNLOADED) {
        OnInstallStatus(STATUS_DOWNLOAD_FAILED, 0);
        return;
    }
    if (outcome == HOLD_REFUSED) {
        OfferRetry(m_texts.m_strVerifyFailed);
        return;
    }

    SetStatus(m_texts.m_strInstalling);
    SetTopmost(false);
    if (!StartSetupRun(m_hWnd, verifiedSetup, m_szSetupPath)) {
        verifiedSetup.Reset();
        OnInstallStatus(STATUS_INSTALL_FAILED, 0);
    }
}

LRESULT CInstallDlg::OnInstallStatus(WPARAM code, LPARAM)
{
    switch (code) {
    case STATUS_DOWNLOAD_FAILED:
        m_wndProgress.SetPos(0);
        OfferRetry(m_texts.m_strDownloadFailed);
        break;
    case STATUS_DOWNLOAD_DONE:
        OnDownloadDone();
        break;
    case STATUS_DOWNLOAD_STARTED:
        SetStatus(m_texts.m_strDownloading);
        break;
    case STATUS_INSTALL_FAILED:
        OfferRetry(m_texts.m_strSystemError);
        SetTopmost(true);
        break;
    case STATUS_INSTALL_DONE:
        ShowWindow(GetDlgItem(IDOK), SW_HIDE);
        ShowWindow(GetDlgItem(IDC_PROGRESS), SW_HIDE);
        SetDlgItemTextW(m_hWnd, IDCANCEL, m_texts.m_strFinish);
        ShowWindow(GetDlgItem(IDCANCEL), SW_SHOW);
        FocusButton(IDCANCEL);
        SetStatus(m_texts.m_strInstalled);
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
    const CPaintDC paint(m_hWnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Get()), 0);
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(paint.Get(), x, y, m_hIcon);
    return 0;
}

LRESULT CInstallDlg::OnQueryDragIcon(WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>(m_hIcon);
}

// Closing the window is Exit: passed on, the dialog manager turns WM_CLOSE into IDCANCEL.
LRESULT CInstallDlg::OnClose(WPARAM, LPARAM)
{
    return Default();
}

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX, nullptr) {}
