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
    QString text;
    if (stats.failedPages > 0) {
        text = (stats.failedPages == 1
                    ? QStringLiteral("1 of the %1 result pages").arg(stats.pagesFetched)
                    : QStringLiteral("%1 of the %2 result pages")
                          .arg(stats.failedPages)
                          .arg(stats.pagesFetched)) +
               QStringLiteral(" could not be downloaded, even when tried again. ");
    }
    text += stats.errorColumns == 1
                ? QStringLiteral("1 result reads \"error\": that engine could not be asked, so "
                                 "whether the target ranks there is not known.")
                : QStringLiteral("%1 results read \"error\": those engines could not be asked, "
                                 "so whether the targets rank there is not known.")
                      .arg(stats.errorColumns);
    if (stats.failedPages > 0)
        text += QStringLiteral("\n\nThe first failure:\n%1\n%2")
                    .arg(QString::fromStdString(stats.firstError.text),
                         QString::fromStdString(stats.firstError.url));
    return text;
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

    // A host setting that is not a host would send every query to a wrong page.
    for (int e = 0; e < kEngineCount; ++e) {
        std::string hostError;
        if (m_settingsDlg.EngineEnabled(SearchEngine(e)) &&
            !CheckEngineHost(SearchEngine(e), &hostError)) {
            tw::messageBox(this, QString::fromStdString(hostError), QMessageBox::Ok,
                           QMessageBox::Warning);
            return;
        }
    }

    std::vector<RankTarget> targets;
    for (int row = 0; row < m_nEntries; ++row) {
        if (m_bRankSelectedOnly && !selection->isRowSelected(row, QModelIndex()))
            continue;
        RankTarget target{row, m_model.cell(row, ColUrl), m_model.cell(row, ColKeywords), {}};
        for (int e = 0; e < kEngineCount; ++e) {
            target.previous[e] = m_model.cell(row, EngineColumn(e));
            m_model.setCell(row, EngineColumn(e), std::string());
        }
        targets.push_back(std::move(target));
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
        tw::messageBox(this, QStringLiteral("Not every entry could be ranked: %1\n\n%2 of the %3 "
                                            "entries were left as they were.")
                                 .arg(QString::fromStdString(run.startError))
                                 .arg(run.notRanked)
                                 .arg(targets.size()));
    if (run.cancelled)
        return;
    if (run.notAllFound) {
        CRankCompleteDlg dlg(this);
        dlg.exec();
    } else {
        tw::messageBox(this, QStringLiteral("Ranking is complete."));
    }
    if (run.stats.failedPages > 0 || run.stats.errorColumns > 0)
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
