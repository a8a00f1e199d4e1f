#pragma once

#include "AfxDialog.h"

// The install dialog: status line, progress bar, Retry and Exit.
class CInstallDlg : public CDialog {
public:
    explicit CInstallDlg(CWnd* parent);

protected:
    BOOL OnInitDialog() override;
};
