// Time to load the entry list file into the model while the main window's list view shows it,
// for 1,000, 10,000 and 100,000 entries: what the user waits for at start-up.
#include "SampleList.h"
#include "app/EntryListView.h"
#include "data/DataFile.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tallowick.dat"));
    const int repeats = 3;

    std::printf("%9s %14s\n", "entries", "load+view ms");
    for (int entries : {1000, 10000, 100000}) {
        const QByteArray bytes = bench::makeDataFile(entries);
        {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                return 1;
        }
        double loadView = 1e300;
        for (int r = 0; r < repeats; ++r) {
            EntryListModel shown;
            CEntryListView view;
            view.setModel(&shown);
            view.resize(700, 400);
            view.show();
            QElapsedTimer t;
            t.start();
            if (!datafile::LoadEntries(path, shown))
                return 1;
            QCoreApplication::processEvents(); // the view lays out and paints the new rows
            loadView = std::min(loadView, bench::ms(t));
        }
        std::printf("%9d %14.1f\n", entries, loadView);
    }
    std::printf("(best of %d runs each)\n", repeats);
    return 0;
}
