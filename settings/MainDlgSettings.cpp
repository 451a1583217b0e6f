// The main window's Settings buttons.
#include "app/MainDlg.h"

void CMainDlg::OnSettings() {
    // A ranking run reads the settings while it goes on.
    if (IsRanking())
        return;
    // The dialog stores its values itself on OK.
    m_settingsDlg.DoModal();
}
