// Import of 100,000 CSV lines (and plain-text lines) into the model the main window shows, with
// the list view attached, and export of 100,000 entries to a CSV file.
#include "exchange/Import.h"
#include "app/EntryListView.h"
#include "exchange/Export.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {
double ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Reads path and appends its new entries to model, as the window's import does.
bool importInto(const QString& path, const std::string& target, EntryListModel& model,
                int expected) {
    tw::exchange::ImportResult result;
    QString error;
    if (!tw::exchange::importFile(path, target, model.rows(), result, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    model.appendEntries(std::move(result.rows));
    QCoreApplication::processEvents(); // the view lays out and paints the new rows
    return result.added == expected;
}
} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const int lines = 100000;
    const int repeats = 3;

    QByteArray csv = "url,keywords\r\n";
    QByteArray text;
    for (int i = 0; i < lines; ++i) {
        const QByteArray n = QByteArray::number(i);
        csv += "www.site" + n + ".example/some/path/page.html,\"used cars, selling autos " + n +
               "\"\r\n";
        text += "used cars selling autos " + n + "\r\n";
    }
    const QString csvPath = dir.filePath(QStringLiteral("import.csv"));
    const QString textPath = dir.filePath(QStringLiteral("import.txt"));
    if (!writeFile(csvPath, csv) || !writeFile(textPath, text))
        return 1;

    double csvEmpty = 1e300, textFull = 1e300, textEmpty = 1e300, exportMs = 1e300;
    qint64 exportBytes = 0;
    for (int r = 0; r < repeats; ++r) {
        QElapsedTimer t;
        {
            EntryListModel model;
            CEntryListView view;
            view.setModel(&model);
            view.resize(700, 400);
            view.show();
            t.start();
            if (!importInto(csvPath, std::string(), model, lines))
                return 1;
            csvEmpty = std::min(csvEmpty, ms(t));

            // Into a list that already holds 100,000 other entries.
            t.start();
            if (!importInto(textPath, "www.other.example", model, lines))
                return 1;
            textFull = std::min(textFull, ms(t));

            t.start();
            const QByteArray out =
                tw::exchange::exportCsv(model.rows(), tw::exchange::engineSlotLabels());
            if (!tw::exchange::writeCsv(dir.filePath(QStringLiteral("export.csv")), out))
                return 1;
            exportMs = std::min(exportMs, ms(t) / 2); // 200,000 rows written
            exportBytes = out.size() / 2;
        }
        EntryListModel model;
        t.start();
        if (!importInto(textPath, "www.other.example", model, lines))
            return 1;
        textEmpty = std::min(textEmpty, ms(t));
    }
    std::printf("%-52s %10s %10s\n", "100,000 lines", "file MB", "ms");
    std::printf("%-52s %10.1f %10.1f\n", "CSV import into an empty list (view attached)",
                csv.size() / 1e6, csvEmpty);
    std::printf("%-52s %10.1f %10.1f\n", "plain-text import into a list of 100,000",
                text.size() / 1e6, textFull);
    std::printf("%-52s %10.1f %10.1f\n", "plain-text import into an empty list", text.size() / 1e6,
                textEmpty);
    std::printf("%-52s %10.1f %10.1f\n", "CSV export of 100,000 entries (per 100,000)",
                exportBytes / 1e6, exportMs);
    std::printf("(best of %d runs each; target: import under 2,000 ms)\n", repeats);
    return 0;
}
