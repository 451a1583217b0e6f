// The main window's results commands: the sites ranked above an entry, the engine's live result
// page, and the text report.
#include "app/MainDlg.h"

#include "rank/QueryUrls.h"
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

void CMainDlg::OnResults() {
    if (selectedRows().isEmpty()) {
        tw::messageBox(
            this, QStringLiteral("Please select an entry to view the Google results ranked above "
                                 "yours."));
        return;
    }
    const int row = selectedEntry();
    if (row < 0 || row >= m_nEntries)
        return;

    // A result text is usable by the same test as a position value.
    bool hasResults = false;
    for (int engine = 0; engine < kEngineCount && !hasResults; ++engine)
        hasResults = rank::IsUsablePosition(m_model.cellRef(row, EngineColumn(engine)));
    const EntryResults* results = m_model.results(row);
    if (!hasResults || !results) {
        tw::messageBox(this,
                       QStringLiteral("Please first click RANK to get the results ranked above "
                                      "yours."));
        return;
    }

    CRankDetailsDlg dlg(this);
    dlg.m_strTargetUrl = m_model.cell(row, ColUrl);
    dlg.m_strSearchPhrase = m_model.cell(row, ColKeywords);
    dlg.SetEngineSites(*results);
    dlg.DoModal();
}

void CMainDlg::OnViewPage() {
    if (selectedRows().isEmpty()) {
        tw::messageBox(this, QStringLiteral("Please select an entry to view the search engine "
                                            "result page."));
        return;
    }
    const int row = selectedEntry();
    if (row < 0 || row >= m_nEntries)
        return;

    const std::string keywords = m_model.cell(row, ColKeywords);
    std::array<std::string, kEngineCount> positions;
    bool anyUsable = false;
    for (int engine = 0; engine < kEngineCount; ++engine) {
        positions[engine] = rank::PositionValue(static_cast<SearchEngine>(engine),
                                                m_model.cellRef(row, EngineColumn(engine)));
        anyUsable = anyUsable || rank::IsUsablePosition(positions[engine]);
    }
    if (!anyUsable) {
        tw::messageBox(this, QStringLiteral("Please first click RANK to get a search engine "
                                            "result page to view."));
        return;
    }

    std::array<std::string, kEngineCount> urls;
    for (int engine = 0; engine < kEngineCount; ++engine) {
        const auto e = static_cast<SearchEngine>(engine);
        urls[engine] = rank::ViewPageUrl(e, EngineHost(e), keywords, positions[engine]);
    }

    CSelectEngineDlg dlg(this);
    for (int engine = 0; engine < kEngineCount; ++engine)
        dlg.m_bEngineEnabled[engine] = rank::IsUsablePosition(positions[engine]);
    if (dlg.DoModal() != QDialog::Accepted)
        return;
    const int chosen =
        dlg.m_nEngine >= Google && dlg.m_nEngine <= Lycos ? dlg.m_nEngine : LookSmart;
    tw::shellOpen(QString::fromStdString(urls[chosen]));
}

void CMainDlg::OnSave() {
    const QString path = tw::saveFileName(
        this, QStringLiteral("Save As"),
        QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
        QStringLiteral("MyResults"), QStringLiteral("Text Files (*.txt)"), QStringLiteral("txt"));
    // The data file is named relative to the working folder: whatever the dialog did, go back.
    if (!m_strStartDir.isEmpty())
        QDir::setCurrent(m_strStartDir);
    if (path.isEmpty())
        return;

    QString error;
    if (!report::SaveReport(path, m_model, QDateTime::currentDateTime(), &error)) {
        tw::messageBox(this, error, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    tw::messageBox(this, QStringLiteral("Results saved to ") + path);
}
