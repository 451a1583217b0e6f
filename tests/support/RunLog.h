#pragma once
// What a ranking run did to the URL column, in order: a worker marks its row ("URL *") when it
// starts and writes the URL back when it ends. Shared by the run's tests and the window's.

#include <QTest>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tw::test {

inline std::string RunTarget(int i) {
    return "www.target" + std::to_string(i) + ".example";
}

struct UrlLog {
    std::vector<std::pair<int, std::string>> urlLog; // URL column changes in order
    int marked = 0;
    int maxMarked = 0;

    // Records a change of row's URL cell; true when it marks a worker's start.
    bool Record(int row, const std::string& text) {
        urlLog.emplace_back(row, text);
        if (text.size() >= 2 && text.compare(text.size() - 2, 2, " *") == 0) {
            maxMarked = std::max(maxMarked, ++marked);
            return true;
        }
        --marked;
        return false;
    }
};

// Workers start in row order, and with `limit` running one beyond it starts only after one of
// them has ended. Every entry of a run of two-page scans is marked and restored once; with one
// thread the rows follow each other strictly.
inline void CheckWorkerOrder(const UrlLog& log, int limit) {
    int started = 0, ended = 0;
    for (const auto& [row, text] : log.urlLog) {
        if (text == RunTarget(row) + " *") {
            // Two workers started together may mark their rows in either order.
            QVERIFY(limit == 1 ? row == started : row < started + limit);
            ++started;
            QVERIFY(started <= ended + limit);
        } else {
            QCOMPARE(text, RunTarget(row));
            ++ended;
        }
    }
    if (limit == 1) {
        for (int i = 0; i < int(log.urlLog.size()); ++i)
            QCOMPARE(log.urlLog[i].first, i / 2);
    }
}

} // namespace tw::test
