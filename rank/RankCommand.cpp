#include "rank/RankCommand.h"

#include "base/ShownText.h"
#include "data/EntryListModel.h"
#include "rank/EntryModelRows.h"
#include "rank/RankCompleteDlg.h"
#include "rank/RankProgressDlg.h"
#include "rank/RankSources.h"
#include "rank/RunPipeline.h"
#include "rank/WhatChangedDlg.h"
#include "settings/SearchSettings.h"
#include "settings/ServiceAddresses.h"
#include "ui/MessageBox.h"
#include "ui/Resources.h"
#include "ui/Sound.h"

#include <algorithm>
#include <atomic>

namespace rank {

namespace {
// The list's rows, counting the entries whose every engine has ended: the progress dialog's
// overall count.
class CCountedRows : public CEntryModelRows {
public:
    using CEntryModelRows::CEntryModelRows;
    void EngineFinished(const EngineOutcome& outcome) override {
        if (outcome.engine == SearchEngine(kEngineCount - 1))
            ++m_done;
    }
    int Done() const { return m_done.load(); }

private:
    std::atomic<int> m_done{0};
};

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
                    .arg(tw::shownText(stats.firstError.text), tw::shownText(stats.firstError.url));
    return text;
}
} // namespace

CRankCommand::CRankCommand(QWidget* parent, EntryListModel& model, const CSearchSettings& settings)
    : m_parent(parent), m_model(model), m_settings(settings) {}

bool CRankCommand::Run(const std::optional<QList<int>>& rows,
                       const std::function<void(CRankProgressDlg*)>& runState) {
    const int count = m_model.rowCount();
    if (count < 1) {
        tw::messageBox(m_parent,
                       QStringLiteral("Please enter a URL and target keywords to search for."));
        return false;
    }
    if (rows && rows->isEmpty()) {
        tw::messageBox(m_parent,
                       QStringLiteral("Please highlight the URL(s) you wish to rank, or click Rank "
                                      "All to rank all items."));
        return false;
    }

    const tw::sources::SourceSettings sources = ReadRunSources(false);
    // A host setting that is not a host would send every query to a wrong page.
    for (int e = 0; e < kEngineCount; ++e) {
        std::string hostError;
        if (m_settings.EngineEnabled(SearchEngine(e)) && sources.columns[e].isClassic() &&
            !CheckEngineHost(SearchEngine(e), &hostError)) {
            tw::messageBox(m_parent, QString::fromStdString(hostError), QMessageBox::Ok,
                           QMessageBox::Warning);
            return false;
        }
    }

    std::vector<RankTarget> targets;
    for (int row = 0; row < count; ++row) {
        if (rows && !std::binary_search(rows->begin(), rows->end(), row))
            continue;
        RankTarget target{row, m_model.cell(row, ColUrl), m_model.cell(row, ColKeywords), {}, {}};
        target.options = m_model.options(row);
        for (int e = 0; e < kEngineCount; ++e) {
            target.previous[e] = m_model.cell(row, EngineColumn(e));
            m_model.setCell(row, EngineColumn(e), std::string());
        }
        targets.push_back(std::move(target));
    }
    m_targets = targets.size();

    const int total = int(targets.size());
    CRankProgressDlg progress(m_parent);
    progress.SetOverall(0, total);
    progress.show();

    RankRunSettings settings;
    settings.maxPages = m_settings.m_MaxPages;
    settings.maxThreads = m_settings.m_MaxThreads;
    settings.readWholeDepth = m_settings.m_ReadWholeDepth != 0;
    for (int e = 0; e < kEngineCount; ++e)
        settings.hosts[e] = EngineHost(SearchEngine(e));
    // The settings cannot change during a run (Settings is locked), so reading them from the
    // workers is safe.
    const CSearchSettings& search = m_settings;
    settings.engineOn = [&search](SearchEngine e) { return search.EngineEnabled(e); };
    settings.sources = sources;

    // The window saves the list at close, so the run is recorded when it ends.
    RunRequest request;
    request.dataFilePath = m_historyFile;
    request.record = !m_historyFile.isEmpty();
    CRunPipeline pipeline(std::move(request));

    runState(&progress);
    CCountedRows modelRows(m_model);
    RunOutcome outcome = pipeline.Run(targets, modelRows, &progress, settings, [&] {
        WaitAndPump(50);
        progress.SetOverall(modelRows.Done(), total);
    });
    m_result = std::move(outcome.run);
    m_historyError = outcome.historyError;
    m_alerts = std::move(outcome.alerts);
    m_changes = std::move(outcome.changes);
    // Drawn beside the cells' texts; the texts (and so the data file and the report) stay.
    for (const ResultChange& change : m_changes.results) {
        const int places = change.kind == ChangeKind::Up     ? change.places
                           : change.kind == ChangeKind::Down ? -change.places
                                                             : 0;
        m_model.setChangeMark(change.row, change.slot, places);
    }
    runState(nullptr);

    progress.hide();
    PlayResourceSound(tw::kCompletionSound);
    return true;
}

void CRankCommand::ShowOutcome() const {
    const RankRunResult& run = m_result;
    if (!run.startError.empty())
        tw::messageBox(m_parent,
                       QStringLiteral("Not every entry could be ranked: %1\n\n%2 of the %3 "
                                      "entries were left as they were.")
                           .arg(QString::fromStdString(run.startError))
                           .arg(run.notRanked)
                           .arg(m_targets));
    // What the result services were asked for, and what they would not take.
    QString calls = QString::fromStdString(CallsSummary(run.calls));
    if (!calls.isEmpty()) {
        calls = QStringLiteral("Result-service calls in this run: %1.").arg(calls);
        for (const std::string& notice : run.calls.notices)
            calls += QStringLiteral("\n\nNote: %1.").arg(QString::fromStdString(notice));
    }
    if (run.stats.overBudget > 0) {
        const QString budget =
            QString::fromStdString(BudgetMessage(run.calls, run.stats.overBudget));
        tw::messageBox(m_parent,
                       budget.left(1).toUpper() + budget.mid(1) +
                           QStringLiteral(". Their columns keep the texts they had.") +
                           (calls.isEmpty() ? QString() : QStringLiteral("\n\n") + calls),
                       QMessageBox::Ok, QMessageBox::Warning);
        calls.clear();
    }
    if (run.cancelled) {
        if (!calls.isEmpty())
            tw::messageBox(m_parent, calls);
        ShowHistoryError();
        ShowAlertFailures();
        return;
    }
    const bool changes = !m_changes.Empty();
    if (run.notAllFound) {
        CRankCompleteDlg dlg(m_parent);
        if (changes)
            dlg.OfferChanges([this, &dlg] { ShowChanges(&dlg); });
        dlg.exec();
    } else if (tw::messageBox(m_parent, QStringLiteral("Ranking is complete."),
                              changes ? QMessageBox::Ok | QMessageBox::Open : QMessageBox::Ok,
                              QMessageBox::Information, tw::kCaption,
                              {{QMessageBox::Open, QStringLiteral("&Changes...")}}) ==
               QMessageBox::Open) {
        ShowChanges(m_parent);
    }
    if (run.stats.failedPages > 0 || run.stats.errorColumns > 0)
        tw::messageBox(m_parent, FailedPagesText(run.stats));
    if (!calls.isEmpty())
        tw::messageBox(m_parent, calls);
    ShowHistoryError();
    ShowAlertFailures();
}

void CRankCommand::ShowAlertFailures() const {
    const QStringList lines = m_alerts.failureLines();
    if (lines.isEmpty())
        return;
    tw::messageBox(m_parent,
                   lines.join(QStringLiteral("\n\n")) +
                       QStringLiteral("\n\nThe results of this run are in the list as always."),
                   QMessageBox::Ok, QMessageBox::Warning);
}

void CRankCommand::ShowChanges(QWidget* parent) const {
    CWhatChangedDlg dlg(m_changes, parent);
    dlg.exec();
}

void CRankCommand::ShowHistoryError() const {
    if (m_historyError.isEmpty())
        return;
    tw::messageBox(m_parent,
                   m_historyError +
                       QStringLiteral("\n\nThe results of this run are in the list as always, "
                                      "but they were not recorded in the rank history."),
                   QMessageBox::Ok, QMessageBox::Warning);
}

} // namespace rank
