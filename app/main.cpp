#include "app/MainDlg.h"
#include "base/Maker.h"
#include "ui/Resources.h"

#include <QApplication>

#include <csignal>

int main(int argc, char* argv[]) {
#ifdef SIGXFSZ
    // A file size limit (ulimit -f) makes a write fail instead of ending the program, so a save
    // that cannot complete is reported and the list is not lost.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
#ifdef SIGPIPE
    // Likewise a report written into a pipe whose reader has gone.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(maker::kProduct));
    QCoreApplication::setApplicationName(QString::fromLatin1(maker::kProduct));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    // Every window of the program shows the program icon.
    QApplication::setWindowIcon(tw::programIcon());

    // The program is its main window: when it closes, the process ends.
    CMainDlg dlg;
    dlg.exec();
    return 0;
}
