#include "InstallDlg.h"

#include "InstallerApp.h"
#include "resource.h"

CInstallDlg::CInstallDlg(CWnd* parent) : CDialog(IDD_INSTALL_DIALOG, parent) {}

BOOL CInstallDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(theApp.m_strTitle);
    SetDlgItemTextA(m_hWnd, IDOK, theApp.m_strRetry);
    SetDlgItemTextA(m_hWnd, IDCANCEL, theApp.m_strExit);
    SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetDlgItemTextA(m_hWnd, IDC_STATUS, theApp.m_strConnecting);
    return TRUE;
}
