#pragma once
// The rows of a ranking run kept in the entry store. The store belongs to its own thread (the
// window's); a worker's change is carried out there, and the worker waits until it is done.

#include "rank/RankRun.h"

class EntryListModel;

class CEntryModelRows : public IRankRows {
public:
    explicit CEntryModelRows(EntryListModel& model) : m_model(model) {}

    void SetCell(int row, int col, const std::string& text) override;
    void AttachResults(int row, std::unique_ptr<EntryResults> record,
                       const std::array<bool, kEngineCount>& keepOld) override;
    void SetEngineResults(int row, SearchEngine engine, std::vector<std::string> sites) override;

protected:
    EntryListModel& m_model;
};
