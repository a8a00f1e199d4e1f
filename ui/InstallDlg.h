#pragma once

#include "AfxDialog.h"
#include "AfxString.h"

typedef BOOL(WINAPI* PathFileExistsFn)(LPCSTR path);

// What a worker keeps of the dialog. Workers may outlive the dialog object
// (Exit ends the modal run at once and nobody waits for a worker), so a
// worker copies what it needs while the dialog is known to exist and never
// touches the object afterwards; a window handle of a window that has gone
// is harmless to send to.
struct CWorkerView {
    HWND hDialog;
    HWND hProgress;
    char szUrl[512];
    PathFileExistsFn pfnPathFileExists;
    HANDLE hVerifiedSetup;  // the runner's: the verified setup, held open
    const char* pszVerb;    // the runner's: the launch verb
};

// The install dialog: status line, progress bar, Retry and Exit.
class CInstallDlg : public CDialog {
public:
    explicit CInstallDlg(CWnd* parent);
    ~CInstallDlg() override;

    // Fills `view` for a worker started with `dialog`; false when there is no
    // such dialog any more. For the runner it also takes over the held setup.
    static bool TakeWorkerView(void* dialog, bool forRunner, CWorkerView& view);

    PathFileExistsFn m_pfnPathFileExists;
    HMODULE m_hShlwapi;
    HMODULE m_hUser32;
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
    void SetStatus(const char* text);
    void ReleaseVerifiedSetup();

    static const AFX_MSGMAP_ENTRY kMessageMap[];

    // The verified setup, held open from before its check until the runner
    // has started it, so that nobody can change it in between.
    HANDLE m_hVerifiedSetup;
};

// The About box of the system menu.
class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};
