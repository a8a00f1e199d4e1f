#pragma once

#include <windows.h>
#include <oleacc.h>

#include "app/SetupPins.h"
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

    SetupPins m_setupPins;  // what the manifest pins of the setup; nothing unless set

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
    // A failure: `failureText`, with Retry, enabled and focused, and Exit.
    void OfferRetry(const MessageChar* failureText);
    // Moves the keyboard focus to the visible button `id` that carries on.
    void FocusButton(int id);
    void SetTopmost(bool topmost);
    // `urgent` interrupts a screen reader; otherwise it waits its turn.
    void SetStatus(const MessageChar* text, bool urgent = false);

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
    // What screen readers are told beyond the controls themselves; null
    // where the system has no annotation service. Released before the
    // apartment is left.
    CComApartment m_apartment;
    CUniqueInterface<IAccPropServices> m_accProps;
};

// The About box of the system menu.
class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};
