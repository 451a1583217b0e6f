#pragma once
// Types shared by the entry list, the ranking run and the results.

#include <array>
#include <string>
#include <vector>

enum SearchEngine : int { Google = 0, AltaVista = 1, Lycos = 2, LookSmart = 3 };
inline constexpr int kEngineCount = 4;

// Names as the list columns, the report and the messages spell them.
inline constexpr std::array<const char*, kEngineCount> kEngineNames = {"Google", "Altavista",
                                                                       "Lycos", "Looksmart"};

// Sites ranked above the target, one list per engine in SearchEngine order. Texts are raw
// bytes, exactly as cut from the result page.
struct EntryResults {
    std::array<std::vector<std::string>, kEngineCount> sites;
};

// Columns of the main list (and of RankEntry).
enum EntryColumn : int {
    ColNumber = 0,
    ColUrl = 1,
    ColGoogle = 2,
    ColAltavista = 3,
    ColLycos = 4,
    ColLooksmart = 5,
    ColKeywords = 6,
    kColumnCount = 7
};

inline constexpr int EngineColumn(int engine) {
    return ColGoogle + engine;
}
