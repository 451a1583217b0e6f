// The main window's help, About and splash commands.
#include "app/MainDlg.h"
#include "ui/AboutDlg.h"
#include "ui/HelpDlg.h"
#include "ui/SplashDlg.h"

void CMainDlg::OnHelp() {
    CHelpDlg dlg(this);
    dlg.exec();
}

void CMainDlg::OnAbout() {
    HandleSysCommand(this, CAboutDlg::IDM_ABOUTBOX);
}

void CMainDlg::ShowSplash() {
    // Owned by the main window, which destroys it; hidden after a moment or by a click.
    auto* splash = new CSplashDlg(this);
    splash->ShowSplash();
}
