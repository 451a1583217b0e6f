#pragma once
// Types shared by the entry list, the ranking run and the results.

#include <array>
#include <string>
#include <vector>

// The engines, in the order of the list's columns, the data file's result lines and the
// settings dialog. Everything else about an engine is in its record in base/Engines.cpp.
enum SearchEngine : int { Google = 0, AltaVista = 1, Lycos = 2, LookSmart = 3 };
inline constexpr int kEngineCount = 4;

// Sites ranked above the target, one list per engine in SearchEngine order. Texts are raw
// bytes, exactly as cut from the result page.
struct EntryResults {
    std::array<std::vector<std::string>, kEngineCount> sites;
};

// Columns of the main list (and of RankEntry): number, URL, one per engine, keywords.
enum EntryColumn : int {
    ColNumber = 0,
    ColUrl = 1,
    ColFirstEngine = 2,
    ColKeywords = ColFirstEngine + kEngineCount,
    kColumnCount = ColKeywords + 1
};

inline constexpr int EngineColumn(int engine) {
    return ColFirstEngine + engine;
}
