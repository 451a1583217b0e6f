// Load and save times of the entry list file for 1,000, 10,000 and 100,000 entries, into the
// model the main window shows, and what the check for a change on disk before a save costs.
// bench/listview adds the time the list view takes to show a loaded file.
#include "data/DataFile.h"
#include "SampleList.h"
#include "data/DataFileSession.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tallowick.dat"));
    const int repeats = 3;

    std::printf("%9s %10s %14s %14s %14s\n", "entries", "file MB", "load ms", "save ms",
                "disk check ms");
    for (int entries : {1000, 10000, 100000}) {
        const QByteArray bytes = bench::makeDataFile(entries);
        {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                return 1;
        }
        double load = 1e300, save = 1e300, check = 1e300;
        for (int r = 0; r < repeats; ++r) {
            EntryListModel model;
            QElapsedTimer t;
            t.start();
            if (!datafile::LoadEntries(path, model))
                return 1;
            load = std::min(load, bench::ms(t));

            t.start();
            if (!datafile::SaveEntries(path, model))
                return 1;
            save = std::min(save, bench::ms(t));
            if (model.rowCount() != entries)
                return 1;

            datafile::CDataFileSession session(path);
            if (!session.Load(model))
                return 1;
            t.start();
            if (session.ChangedOnDisk())
                return 1;
            check = std::min(check, bench::ms(t));
        }
        std::printf("%9d %10.1f %14.1f %14.1f %14.1f\n", entries, bytes.size() / 1e6, load, save,
                    check);
    }
    std::printf("(best of %d runs each)\n", repeats);
    return 0;
}
