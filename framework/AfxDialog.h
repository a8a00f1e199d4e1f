#pragma once

#include <windows.h>
#include <commctrl.h>

// A window that the framework does not own: a thin handle wrapper.
class CWnd {
public:
    CWnd() : m_hWnd(nullptr) {}
    virtual ~CWnd() {}

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetWindowText(const wchar_t* text) { ::SetWindowTextW(m_hWnd, text); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }

    HWND m_hWnd;

private:
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
};

class CStatic : public CWnd {};

class CProgressCtrl : public CWnd {
public:
    void SetRange(short lower, short upper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper)); }
    void SetPos(int position) { SendMessage(PBM_SETPOS, static_cast<WPARAM>(position), 0); }
};

class CDialog;

// Data exchange between a dialog and its control objects; this framework
// only binds controls to their objects.
struct CDataExchange {
    CDialog* m_pDlgWnd;
};
// Binds `control` to the dialog's control `id`.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

// One row of a dialog's message map: a window message and its handler.
// A handler's result is the message's result.
typedef LRESULT (CDialog::*AFX_MSG_HANDLER)(WPARAM, LPARAM);
struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    AFX_MSG_HANDLER pfnHandler;
};
// A map ends with a row whose message is 0.
#define ON_MESSAGE(message, handler) {message, static_cast<AFX_MSG_HANDLER>(handler)}
#define END_MESSAGE_MAP() {0, nullptr}

// A modal dialog made from a dialog template of the program's resources.
//
// Message routing, in this order: WM_INITDIALOG goes to OnInitDialog (whose
// base version runs DoDataExchange to bind the control objects); the
// IDOK and IDCANCEL commands go to OnOK and OnCancel (WM_CLOSE turns into
// IDCANCEL unless the map handles it); every other message is looked up in
// GetMessageMap() and, when the map has no row for it, left to the system's
// default dialog processing.
//
// Placement and ownership are what a modal dialog's user expects: a
// dialog made without a parent belongs to the application's main window
// (its top-level window), which stays disabled beneath it while it runs;
// after OnInitDialog a dialog that did not move itself and is no child is
// centred on its owner, or on the screen's work area when it has none.
class CDialog : public CWnd {
public:
    CDialog(UINT templateId, CWnd* parent);

    // Runs the dialog until EndDialog; its result, or -1 when the dialog
    // could not be created.
    INT_PTR DoModal();

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual const AFX_MSGMAP_ENTRY* GetMessageMap() const;

    void EndDialog(INT_PTR result);
    // Called by a handler: the message goes on to the dialog manager's own
    // processing once the handler returns (its result is then unused).
    LRESULT Default();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The parent's window, else the main window's top-level window, else none.
    HWND OwnerForModal() const;
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    bool m_bDefaultRequested;
};
