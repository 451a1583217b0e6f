#include "rank/EntryModelRows.h"

#include "data/EntryListModel.h"

#include "base/BlockingCall.h"

namespace {
// Runs change on the model's thread and returns once it has run. The model's thread must be
// handling its events (the run's pump does that).
template <typename Change> void OnModelThread(EntryListModel& model, Change&& change) {
    tw::BlockingCall(&model, std::forward<Change>(change));
}
} // namespace

void CEntryModelRows::SetCell(int row, int col, const std::string& text) {
    OnModelThread(m_model, [&] { m_model.setCell(row, col, text); });
}

void CEntryModelRows::AttachResults(int row, std::unique_ptr<EntryResults> record,
                                    const std::array<bool, kEngineCount>& keepOld) {
    OnModelThread(m_model, [&] {
        if (EntryResults* old = m_model.results(row)) {
            for (int e = 0; e < kEngineCount; ++e) {
                if (keepOld[e])
                    record->sites[e] = std::move(old->sites[e]);
            }
        }
        m_model.setResults(row, std::move(record));
    });
}

void CEntryModelRows::SetEngineResults(int row, SearchEngine engine,
                                       std::vector<std::string> sites) {
    OnModelThread(m_model, [&] {
        EntryResults* record = m_model.results(row);
        if (!record) {
            m_model.setResults(row, std::make_unique<EntryResults>());
            record = m_model.results(row);
            if (!record)
                return;
        }
        record->sites[engine] = std::move(sites);
    });
}
