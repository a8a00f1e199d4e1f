#include "framework/AfxDialog.h"

#include "framework/AfxWin.h"

namespace {

const AFX_MSGMAP_ENTRY kEmptyMessageMap[] = {
    END_MESSAGE_MAP(),
};

HWND TopLevelOf(HWND window)
{
    while (window && (GetWindowLongW(window, GWL_STYLE) & WS_CHILD))
        window = GetParent(window);
    return window;
}

// On the owner when it is on screen, else on the work area; kept within the
// work area, so that a large dialog over a small owner keeps its caption on
// screen.
void CenterDialog(HWND dialog)
{
    RECT workArea;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0))
        return;
    RECT around = workArea;
    const HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &around);
    RECT self;
    GetWindowRect(dialog, &self);
    const long width = self.right - self.left;
    const long height = self.bottom - self.top;
    long left = around.left + ((around.right - around.left) - width) / 2;
    long top = around.top + ((around.bottom - around.top) - height) / 2;
    if (left + width > workArea.right)
        left = workArea.right - width;
    if (left < workArea.left)
        left = workArea.left;
    if (top + height > workArea.bottom)
        top = workArea.bottom - height;
    if (top < workArea.top)
        top = workArea.top;
    SetWindowPos(dialog, nullptr, static_cast<int>(left), static_cast<int>(top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    control.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(id);
}

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_nIDTemplate(templateId), m_pParentWnd(parent), m_bDefaultRequested(false)
{
}

HWND CDialog::OwnerForModal() const
{
    if (m_pParentWnd)
        return m_pParentWnd->m_hWnd;
    const CWinApp* app = AfxGetApp();
    const CWnd* main = app ? app->m_pMainWnd : nullptr;
    if (!main || main == this || !main->m_hWnd || !IsWindow(main->m_hWnd))
        return nullptr;
    return TopLevelOf(main->m_hWnd);
}

// The system disables the owner for the modal run and enables it again when
// the dialog ends. A wide dialog, so that it and its controls are Unicode
// windows: their texts never pass through the ANSI code page, which may not
// hold them.
INT_PTR CDialog::DoModal()
{
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate),
                                           OwnerForModal(), DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::OnInitDialog()
{
    CDataExchange exchange = {this};
    DoDataExchange(&exchange);
    return TRUE;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

const AFX_MSGMAP_ENTRY* CDialog::GetMessageMap() const
{
    return kEmptyMessageMap;
}

void CDialog::EndDialog(INT_PTR result)
{
    ::EndDialog(m_hWnd, result);
}

// A dialog procedure hands a message back to the dialog manager by
// returning FALSE; a handler that asks for the default processing gets that.
LRESULT CDialog::Default()
{
    m_bDefaultRequested = true;
    return 0;
}

bool CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    for (const AFX_MSGMAP_ENTRY* entry = GetMessageMap(); entry->nMessage != 0; ++entry) {
        if (entry->nMessage == message) {
            // Saved and restored: a handler may run a nested modal loop that
            // dispatches other messages to this dialog.
            const bool outer = m_bDefaultRequested;
            m_bDefaultRequested = false;
            result = (this->*entry->pfnHandler)(wParam, lParam);
            const bool handled = !m_bDefaultRequested;
            m_bDefaultRequested = outer;
            return handled;
        }
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOK();
            result = 0;
            return true;
        case IDCANCEL:
            OnCancel();
            result = 0;
            return true;
        }
    }
    return false;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
        RECT before;
        GetWindowRect(window, &before);
        const BOOL focusDefault = dialog->OnInitDialog();
        RECT after;
        GetWindowRect(window, &after);
        if (before.left == after.left && before.top == after.top && !(GetWindowLongW(window, GWL_STYLE) & WS_CHILD))
            CenterDialog(window);
        return focusDefault;
    }
    CDialog* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!dialog)
        return FALSE;
    LRESULT result = 0;
    if (!dialog->Dispatch(message, wParam, lParam, result))
        return FALSE;
    // A dialog procedure hands a message's own result back through
    // DWLP_MSGRESULT; messages that return values directly get it as is.
    switch (message) {
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_COMPAREITEM:
    case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_QUERYDRAGICON:
        return static_cast<INT_PTR>(result);
    default:
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
}
