// Commands whose subsystems are not in the program yet. Each subsystem moves its handler into
// its own folder and deletes the stub here.
#include "app/MainDlg.h"

void CMainDlg::OnRankAll() {}
void CMainDlg::OnRank() {}
void CMainDlg::OnViewPage() {}
void CMainDlg::OnResults() {}
void CMainDlg::OnSave() {}
void CMainDlg::OnSettings() {}
void CMainDlg::OnHelp() {}
void CMainDlg::OnUpgrade() {}
void CMainDlg::OnAbout() {}

// Start-up extras: the splash window (shown during initialisation, hidden 1.2 s later) and the
// upgrade reminder (when a check is due; better started with a zero timer so that it runs once
// the main window is on screen).
void CMainDlg::ShowSplash() {}
void CMainDlg::RunUpgradeReminder() {}
