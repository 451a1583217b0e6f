// Load and save times of the entry list file for 1,000, 10,000 and 100,000 entries, into the
// model the main window shows (with and without the list view attached), and what the check for
// a change on disk before a save costs.
#include "app/DataFile.h"
#include "app/DataFileSession.h"
#include "app/EntryListView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QTemporaryDir>

#include <cstdio>

namespace {
QByteArray makeFile(int entries) {
    QByteArray out;
    for (int i = 0; i < entries; ++i) {
        out += "www.site" + QByteArray::number(i) + ".example/some/path/page.html\r\n";
        out += "used cars selling autos " + QByteArray::number(i) + "\r\n";
        out += "Rank " + QByteArray::number(i % 100 + 1) + " / Page " +
               QByteArray::number(i % 10 + 1) + "\r\nnot found\r\n-\r\n\r\n";
    }
    return out;
}

double ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tallowick.dat"));
    const int repeats = 3;

    std::printf("%9s %10s %14s %14s %14s %14s\n", "entries", "file MB", "load ms", "load+view ms",
                "save ms", "disk check ms");
    for (int entries : {1000, 10000, 100000}) {
        const QByteArray bytes = makeFile(entries);
        {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                return 1;
        }
        double load = 1e300, loadView = 1e300, save = 1e300, check = 1e300;
        for (int r = 0; r < repeats; ++r) {
            EntryListModel model;
            QElapsedTimer t;
            t.start();
            if (!datafile::LoadEntries(path, model))
                return 1;
            load = std::min(load, ms(t));

            EntryListModel shown;
            CEntryListView view;
            view.setModel(&shown);
            view.resize(700, 400);
            view.show();
            t.start();
            if (!datafile::LoadEntries(path, shown))
                return 1;
            QCoreApplication::processEvents(); // the view lays out and paints the new rows
            loadView = std::min(loadView, ms(t));

            t.start();
            if (!datafile::SaveEntries(path, model))
                return 1;
            save = std::min(save, ms(t));
            if (model.rowCount() != entries)
                return 1;

            datafile::CDataFileSession session(path);
            if (!session.Load(model))
                return 1;
            t.start();
            if (session.ChangedOnDisk())
                return 1;
            check = std::min(check, ms(t));
        }
        std::printf("%9d %10.1f %14.1f %14.1f %14.1f %14.1f\n", entries, bytes.size() / 1e6, load,
                    loadView, save, check);
    }
    std::printf("(best of %d runs each)\n", repeats);
    return 0;
}
