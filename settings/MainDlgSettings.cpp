// The main window's Settings buttons.
#include "app/MainDlg.h"

void CMainDlg::OnSettings() {
    // The dialog stores its values itself on OK.
    m_settingsDlg.DoModal();
}
