#pragma once
// The one place where engine URLs are built: the scans' query of every result page, and the
// result page the user opens in the browser.

#include "base/RankTypes.h"

#include <string>
#include <string_view>

namespace rank {

// Keywords as typed, except that "%", "&", "#" and "+" are percent-encoded: otherwise the
// engine would read them as an escape, a parameter break, a fragment or a space. Spaces and
// bytes >= 0x80 stay as they are; the fetcher encodes them on the way out.
std::string EncodeKeywords(const std::string& keywords);

// Query URL of result page pageIndex (0-based) for a scan that has counted `counted` links so far
// (engines that page on from the last result use the count). host may carry a port
// ("127.0.0.1:8080").
std::string ScanQueryUrl(SearchEngine engine, const std::string& host, const std::string& keywords,
                         int pageIndex, int counted);

// The position value of a result text ("Rank 15 / Page 2"): the page or the rank, as the engine's
// record says; any other text is returned whole.
std::string PositionValue(SearchEngine engine, const std::string& resultText);

// A position value that points at a page: not empty, "-" or "not found".
bool IsUsablePosition(const std::string& positionValue);

// The engine's live result page on which the target stood, for the position value above. A slot
// whose source asks another engine (engines::SlotEngine) opens that engine's public result page.
std::string ViewPageUrl(SearchEngine engine, const std::string& host, const std::string& keywords,
                        const std::string& positionValue);

// Result page `page` (1-based) of a public engine on today's web, by its lower-case name
// ("google", "bing", "yahoo", "duckduckgo", "brave"); empty for an engine without one.
std::string PublicResultUrl(std::string_view engine, const std::string& keywords, int page);

} // namespace rank
