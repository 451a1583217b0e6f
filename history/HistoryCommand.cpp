#include "history/HistoryCommand.h"

#include "data/EntryListModel.h"
#include "history/HistoryDlg.h"
#include "history/HistoryStore.h"
#include "ui/MessageBox.h"

#include <QStringList>

namespace tw {

void ShowEntryHistory(QWidget* parent, const EntryListModel& model, const QList<int>& selected,
                      const QString& dataFilePath) {
    if (selected.isEmpty()) {
        tw::messageBox(parent, QStringLiteral("Please select an entry to view its rank history."));
        return;
    }
    const int row = selected.first();
    if (row < 0 || row >= model.rowCount())
        return;

    EntryHistory history;
    QString error;
    const datafile::EntryOptions& where = model.options(row);
    if (!loadEntryHistory(dataFilePath, model.cellRef(row, ColUrl), model.cellRef(row, ColKeywords),
                          entryWhere(where.device, where.location), &history, &error)) {
        tw::messageBox(parent, error, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    if (history.runs.empty()) {
        tw::messageBox(parent, QStringLiteral("This entry has no rank history yet: its results are "
                                              "recorded each time it is ranked."));
        return;
    }
    QStringList labels;
    for (int e = 0; e < kEngineCount; ++e)
        labels << EntryListModel::columnCaption(EngineColumn(e));
    HistoryDlg dlg(parent);
    dlg.setHistory(std::move(history), labels);
    dlg.exec();
}

} // namespace tw
