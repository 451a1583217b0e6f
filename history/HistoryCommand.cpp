#include "history/HistoryCommand.h"

#include "data/Competitors.h"
#include "data/EntryListModel.h"
#include "history/CompetitorsModel.h"
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

    // The competitors' lines need the kept result lists; without competitors they stay unread.
    std::vector<std::string> competitors;
    QString error;
    if (!datafile::ReadCompetitors(datafile::CompetitorsPath(dataFilePath), &competitors, &error)) {
        tw::messageBox(parent, error + QStringLiteral("\n\nThe history is shown without them."),
                       QMessageBox::Ok, QMessageBox::Warning);
        competitors.clear();
    }
    EntryHistory history;
    const datafile::EntryOptions& where = model.options(row);
    const ListEntry entry{model.cellRef(row, ColUrl), model.cellRef(row, ColKeywords),
                          entryWhere(where.device, where.location)};
    const bool loaded = competitors.empty()
                            ? loadEntryHistory(dataFilePath, entry.url, entry.keywords, entry.where,
                                               &history, &error)
                            : loadEntryHistoryWithResults(dataFilePath, entry, &history, &error);
    if (!loaded) {
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
    dlg.setHistory(std::move(history), labels, std::move(competitors));
    dlg.exec();
}

} // namespace tw
