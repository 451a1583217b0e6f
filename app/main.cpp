#include "app/MainDlg.h"
#include "app/Maker.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(maker::kProduct));
    QCoreApplication::setApplicationName(QString::fromLatin1(maker::kProduct));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    // The program is its main window: when it closes, the process ends.
    CMainDlg dlg;
    dlg.exec();
    return 0;
}
