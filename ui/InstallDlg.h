#pragma once

#include "framework/AfxDialog.h"
#include "framework/AfxHandle.h"
#include "framework/AfxString.h"
#include "system/TempPath.h"
#include "ui/MessageSet.h"
#include "ui/Workers.h"

// The install dialog: status line, progress bar, Retry and Exit.
class CInstallDlg : public CDialog {
public:
    // `texts` must outlive the dialog; `downloadUrl` is copied.
    CInstallDlg(const MessageSet& texts, const char* downloadUrl, CWnd* parent);
    ~CInstallDlg() override;

    // Fill the hand-off of a worker started with `dialog`, while that dialog
    // is known to exist; false when it exists no more. The runner's takes
    // over the held setup.
    static bool TakeDownloadHandOff(void* dialog, CDownloadHandOff& handOff);
    static bool TakeRunnerHandOff(void* dialog, CRunnerHandOff& handOff);

    // The optional file-existence test for the download worker: null when
    // shlwapi or its entry is missing, and the old setup then stays.
    PathFileExistsFn m_pfnPathFileExists;
    CUniqueModule m_hShlwapi;
    CUniqueModule m_hUser32;
    CString m_strUrl;
    CStatic m_wndStatus;
    CProgressCtrl m_wndProgress;
    HICON m_hIcon;

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

    const MessageSet& m_texts;
    RECT m_rcStatusArea;
    // The verified setup, held open from before its check until the runner
    // has started it, so that nobody can change it in between.
    CUniqueFile m_hVerifiedSetup;
};

// The About box of the system menu.
class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};
