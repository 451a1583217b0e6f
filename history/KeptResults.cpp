#include "history/KeptResults.h"

#include "base/ResultLinks.h"
#include "base/TextUtil.h"

#include <array>

namespace tw {

int positionOf(const std::vector<std::string>& results, std::string_view site) {
    if (site.empty())
        return 0;
    const std::string lower = text::AsciiLower(std::string(site));
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (rank::LinkMatches(results[i], lower))
            return int(i) + 1;
    }
    return 0;
}

int pageOfPosition(int position, const std::vector<int>& pageSizes) {
    if (position <= 0)
        return 0;
    int before = 0;
    int page = 0;
    for (const int size : pageSizes) {
        ++page;
        if (position <= before + size)
            return page;
        before += std::max(0, size);
    }
    return page + (position - before - 1) / 10 + 1;
}

SiteRank siteRank(const std::vector<std::string>& results, const std::vector<int>& pageSizes,
                  std::string_view site) {
    SiteRank r;
    r.kept = int(results.size());
    r.position = positionOf(results, site);
    r.page = pageOfPosition(r.position, pageSizes);
    return r;
}

std::string siteRankText(const SiteRank& rank) {
    if (rank.position > 0)
        return "Rank " + std::to_string(rank.position) + " / Page " + std::to_string(rank.page);
    if (rank.kept == 0)
        return "no results kept";
    return "not in the first " + std::to_string(rank.kept);
}

double clickShare(int position) {
    static constexpr std::array<double, 10> kShare = {31.73, 24.71, 18.66, 13.60, 9.51,
                                                      6.23,  4.15,  3.12,  2.97,  3.09};
    if (position < 1 || position > int(kShare.size()))
        return 0.0;
    return kShare[std::size_t(position - 1)];
}

std::map<std::string, double> visibility(const std::vector<VisibilityEntry>& entries,
                                         const std::vector<std::string>& competitors) {
    std::map<std::string, double> out;
    if (entries.empty())
        return out;
    for (const VisibilityEntry& e : entries)
        out[e.target] += e.rank ? clickShare(*e.rank) : 0.0;
    for (const std::string& site : competitors) {
        // A competitor named like a target is that target, already counted at its ranks; a
        // site named twice counts once.
        if (out.count(site))
            continue;
        double sum = 0.0;
        for (const VisibilityEntry& e : entries)
            sum += e.results ? clickShare(positionOf(*e.results, site)) : 0.0;
        out[site] += sum;
    }
    for (auto& [site, sum] : out)
        sum /= double(entries.size());
    return out;
}

} // namespace tw
