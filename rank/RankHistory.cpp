#include "rank/RankHistory.h"

#include "base/Engines.h"
#include "rank/RankSearch.h"
#include "sources/ProviderScan.h"

#include <QFileInfo>

#include <algorithm>

namespace rank {

static_assert(kEngineCount == tw::kHistorySlots, "the history keeps one slot per engine column");
static_assert(CRankSearch::kMaxResultsKept >= tw::kHistoryMaxResults &&
                  tw::sources::ProviderScan::kMaxResultsKept >= tw::kHistoryMaxResults,
              "the scans keep as many results as the history holds");

std::string HistoryEngineName(SearchEngine engine) {
    return engines::SlotLabel(engine);
}

tw::EntryWhere HistoryWhere(const datafile::EntryOptions& entry, const std::string& defaultDevice,
                            const std::string& defaultLocation) {
    datafile::EntryDefaults defaults;
    defaults.device = defaultDevice;
    defaults.location = defaultLocation;
    const datafile::EntryOptions o = datafile::effectiveOptions(entry, defaults);
    return {o.device, o.location};
}

tw::HistoryResult HistoryResultOf(const WrittenResult& written) {
    const EngineOutcome& outcome = written.outcome;
    tw::HistoryResult r;
    r.slot = int(outcome.engine);
    r.engine = HistoryEngineName(outcome.engine);
    r.source = written.source;
    r.text = written.text;
    r.calls = outcome.calls;
    r.where = {written.device, written.location};
    const std::size_t results =
        std::min<std::size_t>(outcome.results.size(), tw::kHistoryMaxResults);
    r.results.assign(outcome.results.begin(), outcome.results.begin() + results);
    r.resultsPartial = outcome.resultsPartial;
    r.pageSizes = outcome.pageSizes;
    r.rankingUrl = outcome.rankingUrl;
    if (outcome.found) {
        r.rank = outcome.rank;
        r.page = outcome.page;
        const std::size_t kept =
            std::min<std::size_t>(written.sitesAbove.size(), tw::kHistoryMaxSites);
        r.sitesAbove.assign(written.sitesAbove.begin(), written.sitesAbove.begin() + kept);
    } else {
        r.error = outcome.error;
    }
    return r;
}

CRunHistory::~CRunHistory() = default;

bool CRunHistory::Begin(const QString& dataFilePath, const QDateTime& started) {
    QString error;
    if (!m_store.open(tw::historyPathFor(dataFilePath), tw::HistoryStore::Mode::ReadWrite,
                      &error) ||
        !m_store.beginRun(started, &error)) {
        Failed(error);
        m_store.close();
        // What can still be read is: the previous results of a history held by another run.
        OpenForReading(dataFilePath);
        return false;
    }
    m_runId = m_store.currentRunId();
    return true;
}

void CRunHistory::OpenForReading(const QString& dataFilePath) {
    const QString path = tw::historyPathFor(dataFilePath);
    if (QFileInfo(path).isFile())
        m_store.openForReading(path, nullptr);
}

void CRunHistory::Attach(RankRunSettings& settings) {
    if (m_runId == 0)
        return;
    settings.resultWritten = [this](const WrittenResult& written) { Record(written); };
}

void CRunHistory::Record(const WrittenResult& written) {
    if (m_failed.load())
        return;
    QString error;
    if (!m_store.record(written.url, written.keywords, HistoryResultOf(written), &error))
        Failed(error);
}

void CRunHistory::Flush() {
    if (m_runId == 0 || m_failed.load())
        return;
    QString error;
    if (!m_store.flush(&error))
        Failed(error);
}

bool CRunHistory::Finish() {
    if (m_runId != 0 && !m_failed.load()) {
        QString error;
        if (!m_store.commitRun(&error))
            Failed(error);
    }
    if (m_failed.load())
        m_store.rollbackRun();
    return !m_failed.load();
}

void CRunHistory::Drop() {
    m_store.rollbackRun();
}

QString CRunHistory::Error() const {
    std::lock_guard<std::mutex> lock(m_errorLock);
    return m_error;
}

std::optional<tw::HistoryRecord> CRunHistory::Previous(const std::string& url,
                                                       const std::string& keywords,
                                                       const tw::EntryWhere& where, int slot,
                                                       bool withSites, qint64 beforeRunId) {
    if (!m_store.isOpen())
        return std::nullopt;
    tw::HistoryRecord record;
    bool found = false;
    // Before this run's id: the run's own results, committed or not, are never "previous".
    qint64 before = m_runId != 0 ? m_runId : 0;
    if (beforeRunId > 0)
        before = before > 0 ? std::min(before, beforeRunId) : beforeRunId;
    if (!m_store.previousResult(url, keywords, where, slot, before, &record, &found, nullptr,
                                withSites) ||
        !found)
        return std::nullopt;
    return record;
}

ResultChange CRunHistory::Compare(int row, const std::string& url, const std::string& keywords,
                                  const tw::HistoryResult& current) {
    return CompareWithHistory(m_store, m_runId, row, url, keywords, current);
}

void CRunHistory::Failed(const QString& reason) {
    std::lock_guard<std::mutex> lock(m_errorLock);
    if (m_error.isEmpty())
        m_error =
            reason.isEmpty() ? QStringLiteral("The rank history could not be written.") : reason;
    m_failed = true;
}

} // namespace rank
