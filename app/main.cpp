#include "app/MainDlg.h"
#include "base/Maker.h"
#include "ui/Resources.h"

#include <QApplication>
#include <QCommandLineParser>

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

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Keeps a list of web sites and keywords and "
                                                    "ranks them on the search engines."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("The list to open (default: tallowick.dat in "
                                                "the current folder); made at the first save "
                                                "when it does not exist."),
                                 QStringLiteral("[FILE]"));
    parser.process(app);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        parser.showHelp(2);

    // The program is its main window: when it closes, the process ends.
    CMainDlg dlg(nullptr, files.isEmpty() ? QString() : files.first());
    dlg.exec();
    return 0;
}
