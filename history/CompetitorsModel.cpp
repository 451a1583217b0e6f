#include "history/CompetitorsModel.h"

#include "base/ResultLinks.h"
#include "base/ShownText.h"
#include "base/TextUtil.h"
#include "data/Competitors.h"
#include "history/HistoryText.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <set>

namespace tw {

namespace {

bool isError(const HistoryResult& r) {
    return !r.error.empty() || r.text == "error";
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

// Opens the list's history to read it; *none when the list has none yet (no file, or an empty
// one a run left behind before it wrote anything).
bool openHistory(const QString& dataFilePath, HistoryStore* store, bool* none, QString* error) {
    const QString path = historyPathFor(dataFilePath);
    const QFileInfo info(path);
    // A link, even a dangling one, is refused by the store with a reason, not taken for none.
    *none = !info.isSymLink() && (!info.exists() || (info.isFile() && info.size() == 0));
    return *none || store->openForReading(path, error);
}

// Each site's first position in results (0: none), as positionOf finds it, in one pass over
// the results: the whole rule runs only where its necessary condition holds (the link holds the
// site, or the site the whole link), so a long list and many competitors stay quick.
std::vector<int> firstPositions(const std::vector<std::string>& results,
                                const std::vector<std::string>& lowerSites) {
    std::vector<int> at(lowerSites.size(), 0);
    std::size_t left = 0;
    for (const std::string& site : lowerSites)
        left += site.empty() ? 0 : 1;
    for (std::size_t i = 0; i < results.size() && left > 0; ++i) {
        const std::string lowered = text::AsciiLower(results[i]);
        for (std::size_t s = 0; s < lowerSites.size(); ++s) {
            const std::string& site = lowerSites[s];
            if (at[s] != 0 || site.empty())
                continue;
            if (lowered.find(site) == std::string::npos && site.find(lowered) == std::string::npos)
                continue;
            if (rank::LinkMatches(results[i], site)) {
                at[s] = int(i) + 1;
                --left;
            }
        }
    }
    return at;
}

} // namespace

std::string siteOfResult(std::string_view url) {
    if (const std::size_t scheme = url.find("://"); scheme != std::string_view::npos)
        url.remove_prefix(scheme + 3);
    url = url.substr(0, std::min(url.size(), url.find_first_of("/?#")));
    if (const std::size_t at = url.rfind('@'); at != std::string_view::npos)
        url.remove_prefix(at + 1);
    // A port is no other site; an IPv6 address keeps its colons inside brackets.
    if (const std::size_t colon = url.rfind(':');
        colon != std::string_view::npos && url.find(']', colon) == std::string_view::npos)
        url = url.substr(0, colon);
    std::string host(url);
    std::transform(host.begin(), host.end(), host.begin(), lowerAscii);
    while (!host.empty() && host.back() == '.')
        host.pop_back();
    if (host.rfind("www.", 0) == 0 && host.size() > 4)
        host.erase(0, 4);
    return host;
}

std::vector<std::string> resultsAbove(const std::string& target, const HistoryResult& result) {
    if (result.results.empty())
        return result.rank ? result.sitesAbove : std::vector<std::string>{};
    const int at = positionOf(result.results, target);
    const auto end = at > 0 ? result.results.begin() + (at - 1) : result.results.end();
    return {result.results.begin(), end};
}

void SitesAboveCounter::add(const std::string& target, const HistoryResult& result) {
    ++m_scans;
    std::set<std::string> sites;
    for (const std::string& url : resultsAbove(target, result)) {
        std::string site = siteOfResult(url);
        if (!site.empty())
            sites.insert(std::move(site));
    }
    for (const std::string& site : sites)
        ++m_counts[site];
}

std::vector<SiteCount> SitesAboveCounter::top(std::size_t n) const {
    std::vector<SiteCount> all;
    all.reserve(m_counts.size());
    for (const auto& [site, count] : m_counts)
        all.push_back({site, count});
    // Stable on the map's order: equal counts stay in the order of their names.
    std::stable_sort(all.begin(), all.end(),
                     [](const SiteCount& a, const SiteCount& b) { return a.count > b.count; });
    if (all.size() > n)
        all.resize(n);
    return all;
}

bool countSitesAbove(const QString& dataFilePath, const std::vector<ListEntry>& entries,
                     SitesAboveCounter* out, QString* error) {
    HistoryStore store;
    bool none = false;
    if (!openHistory(dataFilePath, &store, &none, error))
        return false;
    if (none)
        return true;
    for (const ListEntry& entry : entries) {
        for (int slot = 0; slot < kHistorySlots; ++slot) {
            HistoryRecord latest;
            bool found = false;
            if (!store.previousResult(entry.url, entry.keywords, entry.where, slot, 0, &latest,
                                      &found, error, true))
                return false;
            if (found)
                out->add(entry.url, latest.result);
        }
    }
    return true;
}

bool saveCompetitorsText(const QString& path, const QByteArray& text, QString* error) {
    std::vector<std::string> sites;
    QString reason;
    if (!datafile::ParseCompetitors(text, &sites, &reason)) {
        setError(error, reason);
        return false;
    }
    if (text.trimmed().isEmpty())
        return datafile::WriteCompetitors(path, {}, error);
    QByteArray whole = text;
    if (!whole.endsWith('\n'))
        whole.append('\n');
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(whole) != whole.size() || !file.commit()) {
        setError(error, QStringLiteral("The competitors file \"%1\" could not be written: %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    return true;
}

QString siteRankChangeText(const SiteRank* previous, bool previousPartial, const SiteRank& current,
                           bool currentPartial) {
    // As a target's result: ranked, not found, or unknown where the list says nothing.
    auto asResult = [](const SiteRank& rank, bool partial) {
        HistoryResult r;
        if (rank.position > 0)
            r.rank = rank.position;
        else if (rank.kept == 0 || partial)
            r.text = "error";
        return r;
    };
    const HistoryResult now = asResult(current, currentPartial);
    if (!previous)
        return rankChangeText(nullptr, now);
    const HistoryResult before = asResult(*previous, previousPartial);
    return rankChangeText(&before, now);
}

CompetitorsData::CompetitorsData(std::vector<std::string> competitors)
    : m_competitors(std::move(competitors)) {
    for (const std::string& site : m_competitors)
        m_lowerCompetitors.push_back(text::AsciiLower(site));
}

CompetitorsData::Seen CompetitorsData::seen(const HistoryResult& result,
                                            const std::vector<int>& positions) const {
    Seen s;
    s.target.slot = result.slot;
    s.target.text = result.text;
    s.target.rank = result.rank;
    s.target.page = result.page;
    s.target.error = result.error;
    s.partial = result.resultsPartial || isError(result);
    s.competitors.reserve(m_competitors.size());
    for (const int position : positions)
        s.competitors.push_back(
            {position, pageOfPosition(position, result.pageSizes), int(result.results.size())});
    return s;
}

void CompetitorsData::addEntry(const ListEntry& entry, const EntryHistory& history) {
    EntryState state;
    state.entry = entry;
    for (const HistoryRun& run : history.runs) { // newest first
        for (int s = 0; s < kHistorySlots; ++s) {
            const auto& result = run.bySlot[std::size_t(s)];
            if (!result)
                continue;
            const std::vector<int> positions = firstPositions(result->results, m_lowerCompetitors);
            EntrySlot& slot = state.bySlot[std::size_t(s)];
            if (!slot.latest)
                slot.latest = seen(*result, positions);
            else if (!slot.previous)
                slot.previous = seen(*result, positions);

            // This entry's click shares, summed over the run's entries; view() divides by their
            // number, as visibility() does.
            RunSum& sum = m_runs[std::size_t(s)][run.runId];
            sum.time = run.time;
            ++sum.entries;
            sum.sums[entry.url] += result->rank ? clickShare(*result->rank) : 0.0;
            for (std::size_t c = 0; c < m_competitors.size(); ++c)
                sum.sums[m_competitors[c]] += clickShare(positions[c]);
        }
    }
    m_entries.push_back(std::move(state));
}

std::vector<int> CompetitorsData::slotsWithResults() const {
    std::vector<int> withResults;
    for (int s = 0; s < kHistorySlots; ++s) {
        if (!m_runs[std::size_t(s)].empty())
            withResults.push_back(s);
    }
    return withResults;
}

CompetitorsSlotView CompetitorsData::view(int slot) const {
    CompetitorsSlotView view;
    if (slot < 0 || slot >= kHistorySlots)
        return view;
    const QString notRanked = QStringLiteral("not ranked yet");
    for (const EntryState& state : m_entries) {
        CompetitorsRow row;
        row.entry = state.entry;
        const EntrySlot& s = state.bySlot[std::size_t(slot)];
        if (!s.latest) {
            row.yours.rank = notRanked;
            row.competitors.assign(m_competitors.size(), RankCell{notRanked, {}});
            view.rows.push_back(std::move(row));
            continue;
        }
        const Seen& now = *s.latest;
        row.yours.rank = shownText(now.target.text);
        row.yours.change = rankChangeText(s.previous ? &s.previous->target : nullptr, now.target);
        for (std::size_t c = 0; c < m_competitors.size(); ++c) {
            RankCell cell;
            cell.rank = QString::fromStdString(siteRankText(now.competitors[c]));
            cell.change = siteRankChangeText(s.previous ? &s.previous->competitors[c] : nullptr,
                                             s.previous && s.previous->partial, now.competitors[c],
                                             now.partial);
            row.competitors.push_back(std::move(cell));
        }
        view.rows.push_back(std::move(row));
    }

    std::set<std::string> targets;
    for (const auto& [runId, sum] : m_runs[std::size_t(slot)]) {
        VisibilityRun run;
        run.runId = runId;
        run.time = sum.time;
        run.entries = sum.entries;
        for (const auto& [site, total] : sum.sums)
            run.bySite[site] = total / double(sum.entries);
        view.runs.push_back(std::move(run));
    }
    // Run ids grow with each run; the times say the order should a clock have been set back.
    std::stable_sort(
        view.runs.begin(), view.runs.end(),
        [](const VisibilityRun& a, const VisibilityRun& b) { return a.time < b.time; });
    for (const EntryState& state : m_entries) {
        if (state.bySlot[std::size_t(slot)].latest)
            targets.insert(state.entry.url);
    }
    view.targets.assign(targets.begin(), targets.end());
    view.sites = view.targets;
    for (const std::string& site : m_competitors) {
        if (!targets.count(site))
            view.sites.push_back(site);
    }
    return view;
}

bool loadEntryHistoryWithResults(const QString& dataFilePath, const ListEntry& entry,
                                 EntryHistory* out, QString* error) {
    out->url = entry.url;
    out->keywords = entry.keywords;
    out->where = entry.where;
    out->runs.clear();
    HistoryStore store;
    bool none = false;
    if (!openHistory(dataFilePath, &store, &none, error))
        return false;
    return none || store.loadEntry(entry.url, entry.keywords, entry.where, out, error, true);
}

bool loadCompetitorsData(const QString& dataFilePath, const std::vector<ListEntry>& entries,
                         CompetitorsData* out, QString* error) {
    HistoryStore store;
    bool none = false;
    if (!openHistory(dataFilePath, &store, &none, error))
        return false;
    for (const ListEntry& entry : entries) {
        EntryHistory history;
        if (!none &&
            !store.loadEntry(entry.url, entry.keywords, entry.where, &history, error, true))
            return false;
        out->addEntry(entry, history);
    }
    return true;
}

} // namespace tw
