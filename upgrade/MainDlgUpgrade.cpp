// The main window's upgrade check: the reminder at start-up and the Upgrade button.
#include "app/MainDlg.h"
#include "app/Maker.h"
#include "settings/ServiceAddresses.h"

#include <QTimer>

namespace {
void setTarget(CUpgradeCheckDlg& dlg) {
    dlg.SetTarget(maker::kProduct, maker::kVersion, UpgradePageUrl());
}
} // namespace

void CMainDlg::RunUpgradeReminder() {
    setTarget(m_upgradeDlg);
    if (!m_upgradeDlg.IsCheckDue())
        return;
    // Asked once the main window is on screen rather than from inside its first showing.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible())
            return;
        setTarget(m_upgradeDlg);
        m_upgradeDlg.DoModal();
    });
}

void CMainDlg::OnUpgrade() {
    setTarget(m_upgradeDlg);
    m_upgradeDlg.DoModal();
}
