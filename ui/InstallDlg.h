#pragma once

#include "framework/AfxDialog.h"
#include "framework/AfxHandle.h"
#include "framework/AfxString.h"
#include "system/TempPath.h"
#include "ui/MessageSet.h"

// The install dialog: status line, progress bar, Retry and Exit. It starts
// each step of the installation (install/Installation.h) and shows what
// each reports.
class CInstallDlg : public CDialog {
public:
    // `texts` must outlive the dialog; `downloadUrl` and `setupPath`, where
    // the setup is downloaded to, are copied.
    CInstallDlg(const MessageSet& texts, const char* downloadUrl, const wchar_t* setupPath, CWnd* parent);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    const AFX_MSGMAP_ENTRY* GetMessageMap() const override;

    LRESULT OnSysCommand(WPARAM id, LPARAM lParam);
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnQueryDragIcon(WPARAM, LPARAM);
    LRESULT OnInstallStatus(WPARAM code, LPARAM);
    LRESULT OnClose(WPARAM, LPARAM);

private:
    BOOL SetLayeredAttributes(HWND window, COLORREF key, BYTE alpha, DWORD flags);
    void StartDownload();
    void OnDownloadDone();
    // Retry, enabled, and Exit, after a failure.
    void OfferRetry();
    void SetTopmost(bool topmost);
    void SetStatus(const MessageChar* text);

    static const AFX_MSGMAP_ENTRY kMessageMap[];

    // The optional file-existence test for the download worker: null when
    // shlwapi or its entry is missing, and the old setup then stays.
    PathFileExistsFn m_pfnPathFileExists;
    CUniqueModule m_hShlwapi;
    CUniqueModule m_hUser32;
    CString m_strUrl;
    wchar_t m_szSetupPath[kTempPathSize];
    CStatic m_wndStatus;
    CProgressCtrl m_wndProgress;
    HICON m_hIcon;
    const MessageSet& m_texts;
    RECT m_rcStatusArea;
};

// The About box of the system menu.
class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};
