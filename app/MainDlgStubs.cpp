// Commands whose subsystems are not in the program yet. Each subsystem moves its handler into
// its own folder and deletes the stub here.
#include "app/MainDlg.h"

void CMainDlg::OnRankAll() {}
void CMainDlg::OnRank() {}
