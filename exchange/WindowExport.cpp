#include "exchange/WindowExport.h"

#include "data/DataFile.h"
#include "data/EntryListModel.h"
#include "exchange/Export.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QDir>

namespace tw::exchange {

bool runWindowExport(QWidget* parent, const EntryListModel& model, const QString& startDir) {
    const QString path = tw::saveFileName(
        parent, QStringLiteral("Export Entries"), tw::exportFolder(startDir),
        QStringLiteral("entries"), QStringLiteral("CSV files (*.csv)"), QStringLiteral("csv"));
    // The data file is named relative to the working folder: whatever the dialog did, go back.
    if (!startDir.isEmpty())
        QDir::setCurrent(startDir);
    if (path.isEmpty())
        return false;
    QString error;
    if (!writeCsv(path, exportCsv(model.rows(), engineSlotLabels()), &error)) {
        tw::messageBox(parent, error, QMessageBox::Ok, QMessageBox::Warning);
        return false;
    }
    tw::messageBox(parent, QStringLiteral("%1 entries were exported to \"%2\".")
                               .arg(model.rowCount())
                               .arg(datafile::DisplayPath(path)));
    return true;
}

} // namespace tw::exchange
