#include "app/MainDlg.h"
#include "base/Maker.h"
#include "data/DataFile.h"
#include "ui/Resources.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <string_view>

namespace {

const char* const kUsage =
    "Usage: tallowick [file]\n"
    "Tallowick! checks where web sites rank on search engines.\n"
    "\n"
    "  file           the entry list (a folder: its tallowick.dat); without one,\n"
    "                 tallowick.dat in the current folder\n"
    "  -h, --help     show this text\n"
    "  -v, --version  show the version\n";

} // namespace

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
    // Answered before the window system is asked for, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help")
            return std::fputs(kUsage, stdout) < 0 ? 1 : 0;
        if (arg == "-v" || arg == "--version")
            return std::printf("%s %s\n", maker::kProduct, maker::kVersionText) < 0 ? 1 : 0;
    }

    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(maker::kProduct));
    QCoreApplication::setApplicationName(QString::fromLatin1(maker::kProduct));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(maker::kVersionText));
    // Every window of the program shows the program icon.
    QApplication::setWindowIcon(tw::programIcon());

    // tallowick [FILE]: the list in FILE, as a desktop's file manager or menu entry hands it
    // over. Qt has taken its own options (-platform, -style, ...) out of the arguments.
    const QStringList files = QCoreApplication::arguments().mid(1);
    for (const QString& arg : files) {
        if (arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-")) {
            std::fprintf(stderr, "tallowick: unknown option %s (see tallowick --help)\n",
                         qPrintable(arg));
            return 2;
        }
    }
    if (files.size() > 1) {
        std::fputs("tallowick: give at most one data file (see tallowick --help)\n", stderr);
        return 2;
    }
    QString dataFile;
    if (!files.isEmpty()) {
        const QFileInfo given(files.first());
        dataFile =
            given.isDir()
                ? QDir(given.absoluteFilePath()).filePath(QString::fromLatin1(datafile::kFileName))
                : given.absoluteFilePath();
    }

    // The program is its main window: when it closes, the process ends.
    CMainDlg dlg(nullptr, dataFile);
    dlg.exec();
    return 0;
}
