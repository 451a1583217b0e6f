#pragma once
// What a client report says, worked out from a list, its rank history and its competitors: the
// period (the last run against the run nearest to N days before it), per column the counts, the
// changes, the visibility and the table sorted by rank, per entry its ranks over the period, and
// how the ranks were obtained. Free of widgets and of drawing: the HTML and the PDF writers
// present the same numbers.

#include "data/EntryOptions.h"
#include "history/HistoryStore.h"
#include "history/HistoryText.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace tw::reports {

inline constexpr int kDefaultPeriodDays = 30;
inline constexpr int kMaxPeriodDays = 3660;

// One entry of the list, as the report needs it.
struct ReportEntry {
    std::string url;
    std::string keywords;
    datafile::EntryOptions options; // effective: the list's defaults filled in
};

struct ReportRequest {
    QString dataFilePath;             // names the list and finds its history
    std::vector<ReportEntry> entries; // every entry of the list, in list order
    std::vector<std::string> tags;    // only entries with any of these; empty: every entry
    int periodDays = kDefaultPeriodDays;
    std::vector<std::string> competitors;
    int depth = 0; // result pages read per engine; 0: not said
    std::string title;
    std::string sender;
    QString logoPath; // checked by the writers; empty: none
    bool entryCharts = true;
    QDateTime made; // when the report is made; invalid: now
};

struct ReportRun {
    qint64 runId = 0;
    QDateTime time;
};

// One entry in one column's table.
struct ReportLine {
    int entry = 0;                     // index into Report::entries
    std::optional<HistoryResult> now;  // the latest result at the period's end; empty: none
    std::optional<HistoryResult> then; // the latest at the period's start; empty: none
    RankChange change = RankChange::None;
    QString changeText;      // "up 2", "new", ...; "no earlier result" when there is none
    std::optional<int> best; // the best rank in the period
    std::string rankingUrl;  // the result that matched, now
    std::vector<std::string> competitorRanks; // per competitor, in words
};

struct VisibilitySeries {
    std::string site;           // empty: the list's own targets
    std::vector<double> values; // percent, one per run of the period (Report::runs)
};

struct ReportColumn {
    int slot = 0;
    std::string engine; // the engine its results came from, "Google"
    std::string source; // how they were obtained, "classic"; several joined by ", "
    int top3 = 0, top10 = 0, top100 = 0;
    int up = 0, down = 0, added = 0, dropped = 0, errors = 0;
    double visibilityNow = 0.0;
    double visibilityStart = 0.0;
    std::vector<VisibilitySeries> visibility; // the targets first, then each competitor
    std::vector<ReportLine> lines; // sorted by rank; "not found", "error", no result last
};

// One entry's ranks over the period's runs, per column (empty where not found or not ranked).
struct EntrySeries {
    int entry = 0;
    std::array<std::vector<std::optional<int>>, kHistorySlots> ranks;
};

struct Report {
    std::string title;
    std::string sender;
    QString logoPath;
    QString listName; // the data file's name without its folder
    std::vector<std::string> tags;
    int periodDays = kDefaultPeriodDays;
    QDateTime made;
    std::vector<ReportEntry> entries; // those reported on, in list order
    std::vector<std::string> competitors;
    int depth = 0;
    std::vector<ReportRun> runs; // the period's runs, oldest first; empty: no history
    std::vector<ReportColumn> columns;
    std::vector<EntrySeries> entrySeries; // empty when entry charts are off or too many entries

    bool hasHistory() const { return !runs.empty(); }
    const ReportRun* start() const { return runs.empty() ? nullptr : &runs.front(); }
    const ReportRun* end() const { return runs.empty() ? nullptr : &runs.back(); }
};

// The period of a report: from all run times (any order), the last and the one nearest to
// periodDays before it (an earlier one on a tie); the two are the same when there is one run.
// Indexes into times; both -1 when times is empty.
std::pair<int, int> periodRuns(const std::vector<QDateTime>& times, int periodDays);

// Builds the report from the list's history (opened read-only; none yet is no error). False
// with the reason when the history cannot be read.
bool buildReport(const ReportRequest& request, Report* out, QString* error);

// A column's name in the report: the engine, with its source when that is not the classic scan.
QString columnTitle(const ReportColumn& column);
// "Rank 3 / Page 1", "not found", "error", "no result".
QString rankWords(const std::optional<HistoryResult>& result);
// "List tallowick.dat, tags: shoes, boots".
QString scopeText(const Report& report);
// "2026-11-08 to 2026-12-08 (30 days)" or "only one run: 2026-12-08".
QString periodText(const Report& report);
// How the ranks were obtained: one sentence per column, the depth, then the run dates.
QStringList methodLines(const Report& report);

} // namespace tw::reports
