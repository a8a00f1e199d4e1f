#pragma once

#include "framework/AfxDialog.h"
#include "framework/AfxHandle.h"
#include "framework/AfxString.h"
#include "system/TempPath.h"
#include "ui/MessageSet.h"

// What a worker keeps of the dialog. Workers may outlive the dialog object
// (Exit ends the modal run at once and nobody waits for a worker), so a
// worker copies what it needs while the dialog is known to exist and never
// touches the object afterwards; a window handle of a window that has gone
// is harmless to send to.
struct CWorkerView {
    HWND hDialog = nullptr;
    HWND hProgress = nullptr;
    wchar_t szUrl[512] = {};  // as the ANSI download functions would read it
    PathFileExistsFn pfnPathFileExists = nullptr;  // valid while the process runs: shlwapi is also imported
    CUniqueFile hVerifiedSetup;      // the runner's: the verified setup, held open
    const char* pszVerb = nullptr;   // the runner's: the launch verb
};

// The install dialog: status line, progress bar, Retry and Exit.
class CInstallDlg : public CDialog {
public:
    // `texts` must outlive the dialog; `downloadUrl` is copied.
    CInstallDlg(const MessageSet& texts, const char* downloadUrl, CWnd* parent);
    ~CInstallDlg() override;

    // Fills `view` for a worker started with `dialog`; false when there is no
    // such dialog any more. For the runner it also takes over the held setup.
    static bool TakeWorkerView(void* dialog, bool forRunner, CWorkerView& view);

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
