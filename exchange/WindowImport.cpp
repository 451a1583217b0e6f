#include "exchange/WindowImport.h"

#include "data/EntryListModel.h"
#include "exchange/Import.h"
#include "exchange/ImportTargetDlg.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QFileInfo>

namespace tw::exchange {

WindowImport runWindowImport(QWidget* parent, EntryListModel& model, const QString& startDir) {
    WindowImport outcome;
    const QString path = tw::openFileName(
        parent, QStringLiteral("Import Entries"), startDir,
        QStringLiteral("Entry lists (*.csv *.txt);;CSV files (*.csv);;Text files (*.txt);;"
                       "All files (*)"));
    if (path.isEmpty())
        return outcome;
    QByteArray bytes;
    QString error;
    if (!readImportFile(path, bytes, &error)) {
        tw::messageBox(parent, error + QStringLiteral("\n\nNothing was added."), QMessageBox::Ok,
                       QMessageBox::Warning);
        return outcome;
    }
    ImportResult result;
    bool ok = false;
    if (detectFormat(path, bytes) == ImportFormat::PlainText) {
        ImportTargetDlg dlg(QFileInfo(path).fileName(), parent);
        if (dlg.exec() != QDialog::Accepted)
            return outcome;
        ok = importPlainText(bytes, dlg.url(), model.rows(), result, &error);
    } else {
        ok = importCsv(bytes, model.rows(), result, &error);
    }
    if (!ok) {
        tw::messageBox(parent, error, QMessageBox::Ok, QMessageBox::Warning);
        return outcome;
    }
    outcome.read = true;
    outcome.rowCount = result.added;
    outcome.firstRow = model.appendEntries(std::move(result.rows));
    QString text = result.summary() + QLatin1Char('.');
    if (result.skipped > 0)
        text += QStringLiteral("\n\n") + result.skippedLinesText() + QLatin1Char('.');
    tw::messageBox(parent, text);
    return outcome;
}

} // namespace tw::exchange
