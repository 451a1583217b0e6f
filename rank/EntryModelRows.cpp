#include "rank/EntryModelRows.h"

#include "app/EntryListModel.h"

#include "rank/BlockingCall.h"

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

void CEntryModelRows::AttachResults(int row, std::unique_ptr<EntryResults> record) {
    OnModelThread(m_model, [&] { m_model.setResults(row, std::move(record)); });
}

void CEntryModelRows::AppendResults(int row, SearchEngine engine, std::vector<std::string> sites) {
    OnModelThread(m_model, [&] {
        EntryResults* record = m_model.results(row);
        if (!record) {
            m_model.setResults(row, std::make_unique<EntryResults>());
            record = m_model.results(row);
            if (!record)
                return;
        }
        std::vector<std::string>& list = record->sites[engine];
        list.insert(list.end(), std::make_move_iterator(sites.begin()),
                    std::make_move_iterator(sites.end()));
    });
}
