#pragma once
// A list with a hand-made history of kept result lists, recorded into a real store: two runs of
// two entries on Google (the second run's scan of "www.my-site.example/shop" ended in an error),
// one on Lycos, and a third entry never ranked. The numbers the tests expect are worked out
// beside each run.

#include "history/CompetitorsModel.h"
#include "history/HistoryStore.h"

#include <QDateTime>
#include <QFile>
#include <QString>

#include <string>
#include <vector>

namespace tw::test {

inline const std::vector<std::string> kRivals = {"rival.example", "other.example"};

inline std::vector<ListEntry> competitorsEntries() {
    return {{"www.my-site.example", "blue widgets", {}},
            {"www.my-site.example/shop", "red widgets", {}},
            {"www.my-site.example", "green widgets", {}}};
}

inline HistoryResult keptResult(int slot, std::optional<int> rank, std::vector<std::string> results,
                                bool error = false) {
    HistoryResult r;
    r.slot = slot;
    r.engine = slot == 0 ? "Google" : "Lycos";
    r.source = "classic";
    r.rank = rank;
    if (rank) {
        r.page = 1;
        r.text = "Rank " + std::to_string(*rank) + " / Page 1";
    } else {
        r.text = error ? "error" : "not found";
    }
    if (error)
        r.error = "The engine blocked the search.";
    r.results = std::move(results);
    r.resultsPartial = error;
    r.pageSizes = {int(r.results.size())};
    return r;
}

// Writes the history of the data file at dataFile (which it creates, empty).
inline bool recordCompetitorsHistory(const QString& dataFile, QString* error) {
    QFile data(dataFile);
    if (!data.open(QIODevice::WriteOnly))
        return false;
    data.close();
    HistoryStore store;
    if (!store.open(historyPathFor(dataFile), HistoryStore::Mode::ReadWrite, error))
        return false;
    const auto entries = competitorsEntries();
    // Run 1, Google: blue at 3 (rival first); red not found in ten (other first, rival second).
    std::vector<std::string> ten = {"http://other.example/", "https://www.rival.example/red",
                                    "http://c.example/",     "http://d.example/",
                                    "http://e.example/",     "http://f.example/",
                                    "http://g.example/",     "http://h.example/",
                                    "http://i.example/",     "http://j.example/"};
    if (!store.beginRun(QDateTime(QDate(2026, 12, 1), QTime(9, 0), Qt::UTC), error) ||
        !store.record(entries[0].url, entries[0].keywords,
                      keptResult(0, 3,
                                 {"https://rival.example/x", "http://foo.example/",
                                  "https://www.my-site.example/"}),
                      error) ||
        !store.record(entries[1].url, entries[1].keywords, keptResult(0, {}, ten), error) ||
        !store.commitRun(error))
        return false;
    // Run 2, Google: blue at 1 (rival second); red an error after two results (rival second).
    // Lycos: blue at 3 below rival twice (one site).
    return store.beginRun(QDateTime(QDate(2026, 12, 2), QTime(9, 0), Qt::UTC), error) &&
           store.record(entries[0].url, entries[0].keywords,
                        keptResult(0, 1,
                                   {"https://www.my-site.example/", "https://www.rival.example/a",
                                    "http://foo.example/"}),
                        error) &&
           store.record(
               entries[1].url, entries[1].keywords,
               keptResult(0, {}, {"http://foo.example/", "https://rival.example/red"}, true),
               error) &&
           store.record(entries[0].url, entries[0].keywords,
                        keptResult(2, 3,
                                   {"https://www.rival.example/a", "http://rival.example/b",
                                    "https://www.my-site.example/"}),
                        error) &&
           store.commitRun(error);
}

} // namespace tw::test
