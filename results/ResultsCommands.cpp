#include "results/ResultsCommands.h"

#include "base/Engines.h"
#include "base/QueryUrls.h"
#include "data/EntryListModel.h"
#include "results/RankDetailsDlg.h"
#include "results/Report.h"
#include "results/SelectEngineDlg.h"
#include "settings/ServiceAddresses.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"
#include "ui/ShellOpen.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>

#include <array>
#include <string>

namespace results {

void ShowRankDetails(QWidget* parent, const EntryListModel& model, const QList<int>& selected) {
    if (selected.isEmpty()) {
        tw::messageBox(
            parent, QStringLiteral("Please select an entry to view the Google results ranked above "
                                   "yours."));
        return;
    }
    const int row = selected.first();
    if (row < 0 || row >= model.rowCount())
        return;

    // A result text is usable by the same test as a position value.
    bool hasResults = false;
    for (int engine = 0; engine < kEngineCount && !hasResults; ++engine)
        hasResults = rank::IsUsablePosition(model.cellRef(row, EngineColumn(engine)));
    const EntryResults* results = model.results(row);
    if (!hasResults || !results) {
        tw::messageBox(parent,
                       QStringLiteral("Please first click RANK to get the results ranked above "
                                      "yours."));
        return;
    }

    CRankDetailsDlg dlg(parent);
    dlg.m_strTargetUrl = model.cell(row, ColUrl);
    dlg.m_strSearchPhrase = model.cell(row, ColKeywords);
    dlg.SetEngineSites(*results);
    dlg.DoModal();
}

void ViewResultPage(QWidget* parent, const EntryListModel& model, const QList<int>& selected) {
    if (selected.isEmpty()) {
        tw::messageBox(parent, QStringLiteral("Please select an entry to view the search engine "
                                              "result page."));
        return;
    }
    const int row = selected.first();
    if (row < 0 || row >= model.rowCount())
        return;

    const std::string keywords = model.cell(row, ColKeywords);
    std::array<std::string, kEngineCount> positions;
    bool anyUsable = false;
    for (int engine = 0; engine < kEngineCount; ++engine) {
        positions[engine] = rank::PositionValue(static_cast<SearchEngine>(engine),
                                                model.cellRef(row, EngineColumn(engine)));
        anyUsable = anyUsable || rank::IsUsablePosition(positions[engine]);
    }
    if (!anyUsable) {
        tw::messageBox(parent, QStringLiteral("Please first click RANK to get a search engine "
                                              "result page to view."));
        return;
    }

    std::array<std::string, kEngineCount> urls;
    for (int engine = 0; engine < kEngineCount; ++engine) {
        const auto e = static_cast<SearchEngine>(engine);
        urls[engine] = rank::ViewPageUrl(e, EngineHost(e), keywords, positions[engine]);
    }

    CSelectEngineDlg dlg(parent);
    for (int engine = 0; engine < kEngineCount; ++engine)
        // An engine of a SearXNG instance without a public page of its own has nothing to open.
        dlg.m_bEngineEnabled[engine] =
            rank::IsUsablePosition(positions[engine]) && !urls[engine].empty();
    if (dlg.DoModal() != QDialog::Accepted)
        return;
    // The dialog only offers the engines of the table; anything else opens nothing.
    if (dlg.m_nEngine < 0 || dlg.m_nEngine >= kEngineCount)
        return;
    tw::openInBrowser(parent, QString::fromStdString(urls[dlg.m_nEngine]));
}

void SaveReportAs(QWidget* parent, const EntryListModel& model, const QString& startDir) {
    const QString path = tw::saveFileName(
        parent, QStringLiteral("Save As"),
        QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
        QStringLiteral("MyResults"), QStringLiteral("Text Files (*.txt)"), QStringLiteral("txt"));
    // The data file is named relative to the working folder: whatever the dialog did, go back.
    if (!startDir.isEmpty())
        QDir::setCurrent(startDir);
    if (path.isEmpty())
        return;

    QString error;
    if (!report::SaveReport(path, model, QDateTime::currentDateTime(), &error)) {
        tw::messageBox(parent, error, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    tw::messageBox(parent, QStringLiteral("Results saved to ") + path);
}

} // namespace results
