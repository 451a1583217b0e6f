#include "history/CompetitorsCommand.h"

#include "data/Competitors.h"
#include "data/EntryListModel.h"
#include "history/CompetitorsDlg.h"
#include "history/CompetitorsModel.h"
#include "history/CompetitorsViewDlg.h"
#include "ui/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStringList>

namespace tw {

namespace {
constexpr std::size_t kOffered = 10;

// The file need not exist yet: the window writes its list there when it closes, and the
// competitors file waits beside it.
bool haveListFile(QWidget* parent, const QString& dataFilePath) {
    if (!dataFilePath.isEmpty())
        return true;
    tw::messageBox(parent, QStringLiteral("This list has no data file: its competitors are kept "
                                          "beside it, so they can be chosen once it has one."));
    return false;
}

std::vector<ListEntry> listEntries(const EntryListModel& model) {
    std::vector<ListEntry> entries;
    entries.reserve(std::size_t(model.rowCount()));
    for (int row = 0; row < model.rowCount(); ++row) {
        const datafile::EntryOptions& where = model.options(row);
        entries.push_back({model.cellRef(row, ColUrl), model.cellRef(row, ColKeywords),
                           entryWhere(where.device, where.location)});
    }
    return entries;
}
} // namespace

void EditCompetitors(QWidget* parent, const EntryListModel& model, const QString& dataFilePath,
                     bool readOnly) {
    if (!haveListFile(parent, dataFilePath))
        return;
    const QString path = datafile::CompetitorsPath(dataFilePath);
    QByteArray text;
    if (QFile file(path); file.exists()) {
        // As ReadCompetitors: a competitors file is a few lines.
        if (!file.open(QIODevice::ReadOnly) || file.size() > (1 << 20)) {
            tw::messageBox(parent,
                           QStringLiteral("The competitors file \"%1\" could not be read: %2")
                               .arg(QDir::toNativeSeparators(path),
                                    file.isOpen() ? QStringLiteral("it is larger than 1 MB")
                                                  : file.errorString()),
                           QMessageBox::Ok, QMessageBox::Warning);
            return;
        }
        text = file.readAll();
    }

    CompetitorsDlg dlg(path, parent);
    dlg.setText(text);
    SitesAboveCounter counter;
    QString error;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool counted = countSitesAbove(dataFilePath, listEntries(model), &counter, &error);
    QGuiApplication::restoreOverrideCursor();
    if (!counted)
        dlg.setOfferNote(error);
    else if (counter.scans() == 0)
        dlg.setOfferNote(QStringLiteral("No run of this list has been recorded yet: rank it to "
                                        "see which sites are above your targets."));
    else
        dlg.setOffered(counter.top(kOffered), counter.scans());
    dlg.setReadOnly(readOnly);
    dlg.exec();
}

void ShowCompetitors(QWidget* parent, const EntryListModel& model, const QString& dataFilePath) {
    if (!haveListFile(parent, dataFilePath))
        return;
    std::vector<std::string> competitors;
    QString error;
    if (!datafile::ReadCompetitors(datafile::CompetitorsPath(dataFilePath), &competitors, &error)) {
        tw::messageBox(parent, error, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    CompetitorsData data(std::move(competitors));
    // Every run of every entry is read: a long list's history takes a moment.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool loaded = loadCompetitorsData(dataFilePath, listEntries(model), &data, &error);
    QGuiApplication::restoreOverrideCursor();
    if (!loaded) {
        tw::messageBox(parent, error, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    QStringList labels;
    for (int e = 0; e < kEngineCount; ++e)
        labels << EntryListModel::columnCaption(EngineColumn(e));
    CompetitorsViewDlg dlg(parent);
    dlg.setData(std::move(data), labels);
    dlg.exec();
}

} // namespace tw
