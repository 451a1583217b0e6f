#pragma once
// What the window shows of a list's competitors, made from its history without any widget: the
// sites most often above the targets (to offer as competitors), and per slot the Competitors
// view's table (each entry's rank and each competitor's, with the change since the run before)
// and the visibility of every site per run.

#include "history/HistoryStore.h"
#include "history/KeptResults.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QByteArray;

namespace tw {

// An entry of the list, as its history is named.
struct ListEntry {
    std::string url;
    std::string keywords;
    EntryWhere where;
};

// The site a result address belongs to: its host in lower case, without a leading "www.", so
// that "https://www.rival.example/a" and "http://rival.example/b" count as one. Empty when the
// address names no host.
std::string siteOfResult(std::string_view url);

// The results of a scan that were above its target: those before the first one matching the
// target, all of them when none does (not found, or an "error" before it was seen). A history
// written before whole result lists were kept has only its sites above.
std::vector<std::string> resultsAbove(const std::string& target, const HistoryResult& result);

struct SiteCount {
    std::string site;
    int count = 0; // results (entry and slot) that had the site above the target
};

// Counts, per site, the scans that had it above their target (once per scan however often it
// appears in it).
class SitesAboveCounter {
public:
    void add(const std::string& target, const HistoryResult& result);
    // The n sites counted most often, most often first (ties by name).
    std::vector<SiteCount> top(std::size_t n) const;
    // Scans added.
    int scans() const { return m_scans; }

private:
    std::map<std::string, int> m_counts;
    int m_scans = 0;
};

// Counts the latest result of every slot of each entry of the list.
bool countSitesAbove(const QString& dataFilePath, const std::vector<ListEntry>& entries,
                     SitesAboveCounter* out, QString* error);

// Checks text as a competitors file and writes it as it is (its comments stay), replacing the
// file only once it is complete; a text without anything but blanks removes the file. False
// with the reason (the parser's, naming the line) when it is refused or cannot be written.
bool saveCompetitorsText(const QString& path, const QByteArray& text, QString* error);

// A rank in the Competitors view: the text of the latest run and the change since the run
// before ("up 2", "new", ...; empty when there was no run before).
struct RankCell {
    QString rank;
    QString change;
};

struct CompetitorsRow {
    ListEntry entry;
    RankCell yours;                    // the target's
    std::vector<RankCell> competitors; // in the order of the competitors
};

// Visibility of one run in one slot, per site (targets under their URLs, then competitors).
struct VisibilityRun {
    qint64 runId = 0;
    QDateTime time;
    int entries = 0; // results of the slot the run recorded
    std::map<std::string, double> bySite;
};

struct CompetitorsSlotView {
    std::vector<CompetitorsRow> rows; // one per entry, in the list's order
    std::vector<VisibilityRun> runs;  // oldest first
    std::vector<std::string> sites;   // every site with a visibility: targets, then competitors
    std::vector<std::string> targets; // the distinct target URLs among sites
};

// Gathers what the view needs from each entry's history (loaded with its kept results) and
// keeps only that, so a long list's histories need not be held at once.
class CompetitorsData {
public:
    explicit CompetitorsData(std::vector<std::string> competitors = {});

    const std::vector<std::string>& competitors() const { return m_competitors; }
    // Adds the next entry of the list; history newest run first, as loaded.
    void addEntry(const ListEntry& entry, const EntryHistory& history);
    // The slots any entry has a result in, ascending.
    std::vector<int> slotsWithResults() const;
    CompetitorsSlotView view(int slot) const;

private:
    // What one recorded result says about the target and each competitor.
    struct Seen {
        HistoryResult target; // without its lists
        std::vector<SiteRank> competitors;
        bool partial = false;
    };
    struct EntrySlot {
        std::optional<Seen> latest;
        std::optional<Seen> previous;
    };
    struct EntryState {
        ListEntry entry;
        std::array<EntrySlot, kHistorySlots> bySlot;
    };
    struct RunSum {
        QDateTime time;
        int entries = 0;
        std::map<std::string, double> sums;
    };

    // positions: each competitor's first position in the result's kept list.
    Seen seen(const HistoryResult& result, const std::vector<int>& positions) const;

    std::vector<std::string> m_competitors;
    std::vector<std::string> m_lowerCompetitors;
    std::vector<EntryState> m_entries;
    std::array<std::map<qint64, RunSum>, kHistorySlots> m_runs;
};

// The change of a site's rank between two of its kept result lists, in the History window's
// words; a list without results, or an "error" list that does not hold the site, says nothing
// of where it was ("unknown").
QString siteRankChangeText(const SiteRank* previous, bool previousPartial, const SiteRank& current,
                           bool currentPartial);

// The entry's history with its kept results, as loadEntryHistory reads it without them.
bool loadEntryHistoryWithResults(const QString& dataFilePath, const ListEntry& entry,
                                 EntryHistory* out, QString* error);

// Reads the history of each entry of the list (kept results included) into out.
bool loadCompetitorsData(const QString& dataFilePath, const std::vector<ListEntry>& entries,
                         CompetitorsData* out, QString* error);

} // namespace tw
