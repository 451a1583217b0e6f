#include "app/MainDlg.h"
#include "app/Maker.h"
#include "ui/Resources.h"

#include <QApplication>

int main(int argc, char* argv[]) {
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
