#pragma once
// The engine table: one record per search engine with every name the program uses for it, its
// host, how its result pages are asked for and how they are read. The settings, the list, the
// dialogs, the report, the command line and the scans all read it; adding an engine is one
// record in Engines.cpp plus its line rule in ResultLinks.cpp.

#include "base/RankTypes.h"

#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace engines {

// What a line rule sees of one line of a result page.
struct LineScan {
    std::string_view line;  // as read
    std::string_view upper; // the same bytes, ASCII letters upper-cased
    bool& started;          // whether the page's start marker has been seen
    // Takes one candidate link cut from line; false stops the page.
    const std::function<bool(std::string_view)>& candidate;
};
// Hands the line's candidates in order to scan.candidate; false when it was stopped.
using LineRule = bool (*)(LineScan& scan);
// True for a candidate that is one of the engine's own links, never a result.
using OwnLinkRule = bool (*)(std::string_view candidate);

// Query of result page pageIndex (0-based) after `counted` results; host may carry a port.
using PageUrlFn = std::string (*)(const std::string& host, const std::string& encodedKeywords,
                                  int pageIndex, int counted);
// The live result page for a position value (the page, or the rank, as `position` says).
using ViewUrlFn = std::string (*)(const std::string& host, const std::string& encodedKeywords,
                                  const std::string& positionValue);

// Which number of "Rank N / Page P" points the live result page at the target.
enum class Position { Page, Rank };

struct EngineInfo {
    SearchEngine id;
    const char* name;          // "Google": list column, report, headings, page line, messages
    const char* key;           // "google": command line and JSON
    const char* switchValue;   // settings value of the on/off switch
    const char* hostValue;     // settings value of the search host
    const char* sourceValue;   // settings value of the column's source ("classic", "serpapi:bing")
    const char* defaultHost;   // built-in search host
    const char* enableCaption; // settings dialog check box, with its mnemonic
    const char* viewCaption;   // View Page's engine button, with its mnemonic
    int viewButtonId;          // control id of that button
    int viewButtonX;           // its left edge in dialog units
    const char* visitCaption;  // the results dialog's Visit button, with its mnemonic
    PageUrlFn pageUrl;
    ViewUrlFn viewUrl;
    Position position;
    LineRule lineRule;
    OwnLinkRule ownLink; // may be null
};

// Every engine, in SearchEngine order.
std::span<const EngineInfo> All();
const EngineInfo& Info(SearchEngine engine);
// The engine whose key is name (ASCII case ignored), or -1.
int FromKey(std::string_view name);
// The keys in engine order: KeyList(", ", " or ") is "google, altavista, lycos or looksmart".
std::string KeyList(const char* separator, const char* lastSeparator);

// A column (slot) keeps its engine's place, but its source may ask another engine ("bing"
// through a result service). The window and tallowick-rank set each slot's engine from the
// sources they read; empty (the start): the slot's own engine.
void SetSlotEngine(SearchEngine slot, std::string_view engine);
std::string SlotEngine(SearchEngine slot);
// How everything names the slot: the table's name ("Google") while the slot asks its own engine,
// else the caption of the engine its source asks ("Bing").
std::string SlotLabel(SearchEngine slot);
// The label with a mnemonic for buttons: the table's caption (prefix + "&Google"), or prefix +
// "&" + the other engine's caption.
std::string SlotCaption(SearchEngine slot, const char* tableCaption, std::string_view prefix);
// An engine name as the columns show it: "google" is "Google", "duckduckgo" "DuckDuckGo"; another
// name gets its first letter raised.
std::string EngineCaption(std::string_view engine);

} // namespace engines
