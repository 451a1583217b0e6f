#include "rank/RunPipeline.h"

#include "rank/RankHistory.h"

#include <mutex>

namespace rank {

namespace {
// The results a run writes, handed in by its workers; compared with the history once it ends.
class CWrittenResults {
public:
    void Add(const WrittenResult& written) {
        Written w;
        w.row = written.outcome.row;
        w.url = written.url;
        w.keywords = written.keywords;
        // Only what the comparison reads: the kept result lists stay with the history.
        w.result.slot = int(written.outcome.engine);
        w.result.text = written.text;
        w.result.where = {written.device, written.location};
        if (written.outcome.found) {
            w.result.rank = written.outcome.rank;
            w.result.page = written.outcome.page;
        } else {
            w.result.error = written.outcome.error;
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_written.push_back(std::move(w));
    }

    RunChanges Compare(CRunHistory& history) {
        std::vector<ResultChange> changes;
        changes.reserve(m_written.size());
        for (const Written& w : m_written)
            changes.push_back(history.Compare(w.row, w.url, w.keywords, w.result));
        m_written.clear();
        return SummariseChanges(std::move(changes));
    }

private:
    struct Written {
        int row = 0;
        std::string url;
        std::string keywords;
        tw::HistoryResult result;
    };
    std::mutex m_lock;
    std::vector<Written> m_written;
};
} // namespace

CRunPipeline::CRunPipeline(RunRequest request)
    : m_request(std::move(request)), m_history(std::make_unique<CRunHistory>()) {}

CRunPipeline::~CRunPipeline() = default;

RunOutcome CRunPipeline::Run(const std::vector<RankTarget>& targets, IRankRows& rows,
                             IRankProgress* progress, RankRunSettings settings,
                             const std::function<void()>& pump) {
    RunOutcome outcome;
    const bool recording = m_request.record && !m_request.dataFilePath.isEmpty();
    const QDateTime started =
        m_request.started.isValid() ? m_request.started : QDateTime::currentDateTime();
    // The history never holds the run up: one that cannot be written is told about at the end.
    if (recording) {
        m_history->Begin(m_request.dataFilePath, started);
        m_history->Attach(settings);
    } else if (!m_request.dataFilePath.isEmpty()) {
        m_history->OpenForReading(m_request.dataFilePath);
    }

    CWrittenResults written;
    settings.resultWritten =
        [&written, record = std::move(settings.resultWritten)](const WrittenResult& result) {
            if (record)
                record(result);
            written.Add(result);
        };
    tw::alerts::CAlertCheck alerts;
    if (m_request.alerts != RunRequest::Alerts::Off && !m_request.dataFilePath.isEmpty() &&
        alerts.Prepare(m_request.dataFilePath, &outcome.alerts)) {
        settings.resultWritten = [recorded = std::move(settings.resultWritten),
                                  &alerts](const WrittenResult& written) {
            if (recorded)
                recorded(written);
            alerts.Note(written.outcome.row, written.url, written.keywords,
                        HistoryResultOf(written));
        };
    }

    CRunHistory& history = *m_history;
    outcome.run = RunRanking(targets, rows, progress, settings, [&pump, &history] {
        if (pump)
            pump();
        history.Flush();
    });
    Settle(recording, outcome);

    // Against the history as it was before the run, whatever becomes of the run's own record.
    outcome.changes = written.Compare(history);

    // After the list and the history: a channel that fails loses no result.
    if (outcome.alerts.ruled ||
        (outcome.alerts.mailsReport && m_request.writeReport && !outcome.run.cancelled)) {
        tw::alerts::SendOptions send;
        send.dryRun = m_request.alerts == RunRequest::Alerts::DryRun;
        send.limits = m_request.alertLimits;
        alerts.Finish(
            [&history](const std::string& url, const std::string& keywords,
                       const tw::EntryWhere& where,
                       int slot) { return history.Previous(url, keywords, where, slot, true); },
            started, send, pump, &outcome.alerts,
            // An interrupted run is not reported: it would be incomplete, and the user is waiting.
            outcome.run.cancelled ? tw::alerts::CAlertCheck::ReportWriter{}
                                  : m_request.writeReport);
    }
    return outcome;
}

void CRunPipeline::Settle(bool recording, RunOutcome& outcome) {
    CRunHistory& history = *m_history;
    // The list first: a history that kept a run the list never got would show results the list
    // does not have, and "previous" would compare the next run with them.
    if (m_request.saveList) {
        outcome.saveTried = true;
        outcome.saved = m_request.saveList(&outcome.saveError);
    }
    if (!recording)
        return;
    if (outcome.saveTried && !outcome.saved) {
        history.Drop();
        outcome.keptForTheList = history.Error().isEmpty();
        outcome.historyError =
            outcome.keptForTheList
                ? QStringLiteral("The rank history was not written either, so that it keeps "
                                 "agreeing with the entry list.")
                : history.Error();
        return;
    }
    outcome.recorded = history.Finish();
    if (!outcome.recorded)
        outcome.historyError = history.Error();
}

void CRunPipeline::OpenForReading() {
    if (!m_request.dataFilePath.isEmpty())
        m_history->OpenForReading(m_request.dataFilePath);
}

std::optional<tw::HistoryRecord> CRunPipeline::Previous(const std::string& url,
                                                        const std::string& keywords,
                                                        const tw::EntryWhere& where, int slot,
                                                        bool withSites, qint64 beforeRunId) {
    return m_history->Previous(url, keywords, where, slot, withSites, beforeRunId);
}

} // namespace rank
