#pragma once
// What a run's kept result lists say about other sites: where a competitor ranks, and how much
// of the clicks a slot's ranks are worth (the visibility). Free of widgets and of the store, so
// the window, the command and the reports compute the same numbers.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// The first 1-based position in results whose address matches site (the rule that finds a
// target), 0 when none does.
int positionOf(const std::vector<std::string>& results, std::string_view site);

// The page a 1-based position was on: pageSizes are the results counted on each page read, in
// order; past them (or without them) pages of ten are assumed.
int pageOfPosition(int position, const std::vector<int>& pageSizes);

// Where a site is in one kept result list.
struct SiteRank {
    int position = 0; // 1-based; 0 when not in the list
    int page = 0;     // the page it was on; 0 when not in the list
    int kept = 0;     // how many results the list holds
};
SiteRank siteRank(const std::vector<std::string>& results, const std::vector<int>& pageSizes,
                  std::string_view site);
// "Rank 4 / Page 1" as for a target, "not in the first 37" when the list holds 37 results
// without the site, "no results kept" for an empty list.
std::string siteRankText(const SiteRank& rank);

// The share of the clicks, in percent, that an organic result at a 1-based position gets:
// Backlinko's organic click-through study of 5 million Google searches (2019); positions past
// its table (beyond 10) and 0 get none.
double clickShare(int position);

// One entry's result in one slot of a run, for the visibility.
struct VisibilityEntry {
    std::string target;                                // the entry's target URL, as typed
    std::optional<int> rank;                           // the target's; empty when not ranked
    const std::vector<std::string>* results = nullptr; // the kept results; null: none
};

// Per site, the mean click share over the entries (in percent): each distinct target URL under
// its own text (entries of the same target summed), and each competitor at its position in the
// entries' kept results (a competitor named like a target is that target, counted once). Every
// entry counts in the denominator, ranked or not.
std::map<std::string, double> visibility(const std::vector<VisibilityEntry>& entries,
                                         const std::vector<std::string>& competitors);

} // namespace tw
