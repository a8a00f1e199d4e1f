#include "AfxDialog.h"

namespace {

const AFX_MSGMAP_ENTRY kEmptyMessageMap[] = {
    END_MESSAGE_MAP(),
};

}  // namespace

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    control.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(id);
}

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_nIDTemplate(templateId), m_pParentWnd(parent), m_bDefaultRequested(false)
{
}

INT_PTR CDialog::DoModal()
{
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nIDTemplate),
                                           m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, DialogProc,
                                           reinterpret_cast<LPARAM>(this));
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
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
        return dialog->OnInitDialog();
    }
    CDialog* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
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
        SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
}
