#pragma once
// The main list's engine cell tooltips from the rank history: the previous result and the change,
// "was Rank 9 / Page 1 on 2026-12-01: up 2". Read when a tooltip is asked for and kept until the
// next run, so hovering over a list of 100,000 entries reads only the cells hovered. Free of
// widgets.

#include "history/HistoryStore.h"

#include <QString>

#include <string>
#include <unordered_map>

class EntryListModel;

namespace tw {

class HistoryCellTips {
public:
    // The history of the data file at dataFilePath.
    void setDataFile(const QString& dataFilePath);

    // The tooltip of an entry's engine cell that reads cellText; empty when the history has no
    // two results of it, or when its latest result is not what the cell shows (the cell was
    // ranked by a run that recorded nothing).
    QString tip(const std::string& url, const std::string& keywords, int slot,
                const std::string& cellText, const EntryWhere& where = {});

    // Drops what was read (after a run): the next tooltips are read afresh.
    void forget();

    // Makes model ask this for its engine cells' tooltips. This must outlive model's use of it.
    void attach(EntryListModel& model);

    // Tooltips kept, at most this many; then the cache starts over.
    static constexpr std::size_t kCacheLimit = 20000;

private:
    struct Cached {
        std::string latestText; // the slot's latest recorded text
        QString tip;
    };

    QString m_dataFile;
    HistoryStore m_store;
    bool m_tried = false; // opening was tried since the last forget()
    std::unordered_map<std::string, Cached> m_cache;
};

} // namespace tw
