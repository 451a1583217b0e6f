// Rank All and Rank of the main window: the ranking run with its progress and completion.
#include "app/MainDlg.h"
#include "rank/EntryModelRows.h"
#include "rank/RankCompleteDlg.h"
#include "rank/RankProgressDlg.h"
#include "rank/RankRun.h"
#include "settings/ServiceAddresses.h"
#include "ui/MessageBox.h"
#include "ui/Sound.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QPushButton>

namespace {
// Changing the list under a run's feet would send results into the wrong rows.
const int kLockedDuringRun[] = {
    CMainDlg::IDC_ADD,     CMainDlg::IDC_EDIT, CMainDlg::IDC_REMOVE,         CMainDlg::IDC_SETTINGS,
    CMainDlg::IDC_RANKALL, CMainDlg::IDC_RANK, CMainDlg::IDC_SETTINGS_HIDDEN};

QString FailedPagesText(const RankRunStats& stats) {
    const QString count = stats.failedPages == 1
                              ? QStringLiteral("1 of the %1 result pages").arg(stats.pagesFetched)
                              : QStringLiteral("%1 of the %2 result pages")
                                    .arg(stats.failedPages)
                                    .arg(stats.pagesFetched);
    return count +
           QStringLiteral(" could not be downloaded. An engine whose pages could not be read "
                          "shows \"not found\".\n\nThe first failure:\n%1\n%2")
               .arg(QString::fromStdString(stats.firstError.text),
                    QString::fromStdString(stats.firstError.url));
}
} // namespace

void CMainDlg::OnRank() {
    m_bRankSelectedOnly = true;
    OnRankAll();
    m_bRankSelectedOnly = false;
}

void CMainDlg::OnRankAll() {
    if (m_bRanking)
        return;
    if (m_nEntries < 1) {
        tw::messageBox(this,
                       QStringLiteral("Please enter a URL and target keywords to search for."));
        return;
    }
    QItemSelectionModel* selection = listView()->selectionModel();
    if (m_bRankSelectedOnly && selectedRows().isEmpty()) {
        tw::messageBox(this, QStringLiteral("Please highlight the URL(s) you wish to rank, or "
                                            "click Rank All to rank all items."));
        return;
    }

    std::vector<RankTarget> targets;
    for (int row = 0; row < m_nEntries; ++row) {
        if (m_bRankSelectedOnly && !selection->isRowSelected(row, QModelIndex()))
            continue;
        targets.push_back({row, m_model.cell(row, ColUrl), m_model.cell(row, ColKeywords)});
        for (int e = 0; e < kEngineCount; ++e)
            m_model.setCell(row, EngineColumn(e), std::string());
    }

    CRankProgressDlg progress(this);
    progress.show();

    RankRunSettings settings;
    settings.maxPages = m_settingsDlg.m_MaxPages;
    settings.maxThreads = m_settingsDlg.m_MaxThreads;
    for (int e = 0; e < kEngineCount; ++e)
        settings.hosts[e] = EngineHost(SearchEngine(e));
    // The settings cannot change during a run (Settings is locked), so reading them from the
    // workers is safe.
    settings.engineOn = [this](SearchEngine e) { return m_settingsDlg.EngineEnabled(e); };

    SetRankingState(true, &progress);
    CEntryModelRows rows(m_model);
    m_lastRankRun = RunRanking(targets, rows, &progress, settings, [] { WaitAndPump(50); });
    SetRankingState(false, nullptr);

    progress.hide();
    PlayResourceSound(104);

    if (m_bCloseAfterRun) {
        // Quit during the run: the run is over, now close as usual.
        m_bCloseAfterRun = false;
        OnCancel();
        return;
    }
    const RankRunResult& run = m_lastRankRun;
    if (!run.startError.empty())
        tw::messageBox(this, QStringLiteral("Not every entry could be ranked: %1")
                                 .arg(QString::fromStdString(run.startError)));
    if (run.cancelled)
        return;
    if (run.notAllFound) {
        CRankCompleteDlg dlg(this);
        dlg.exec();
    } else {
        tw::messageBox(this, QStringLiteral("Ranking is complete."));
    }
    if (run.stats.failedPages > 0)
        tw::messageBox(this, FailedPagesText(run.stats));
}

void CMainDlg::SetRankingState(bool ranking, CRankProgressDlg* progress) {
    m_bRanking = ranking;
    m_pRankProgress = progress;
    for (int id : kLockedDuringRun) {
        if (QPushButton* b = button(id))
            b->setEnabled(!ranking);
    }
}

bool CMainDlg::CancelRunBeforeClose() {
    if (!m_bRanking)
        return false;
    // The workers still write into rows and records: stop them first, close when the run ends.
    m_bCloseAfterRun = true;
    if (m_pRankProgress)
        m_pRankProgress->OnCancel();
    return true;
}
