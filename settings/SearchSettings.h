#pragma once
// The values that decide how a ranking run searches: which engines are asked, how many result
// pages are read per engine and entry, and how many entries are ranked at once. The settings
// dialog edits them; the command-line tool reads them without any window.

#include "base/RankTypes.h"

#include <array>

class CSearchSettings {
public:
    // Result pages read per engine and entry (the search depth).
    int m_MaxPages = 20;
    // Entries ranked at the same time.
    int m_MaxThreads = 3;
    // Engine switches, 0 or 1, in SearchEngine order.
    std::array<int, kEngineCount> m_engineOn{1, 1, 1, 1};
    // 0 or 1: every scan reads on past its target to the depth, so that the results below it
    // are kept too. It costs the extra pages (and billed calls through a result service).
    int m_ReadWholeDepth = 0;

    // Reads the stored values over the current ones; what is absent keeps its value.
    void Load();
    // Writes the depth, the thread count, every engine switch and the whole-depth switch.
    void Save() const;

    bool EngineEnabled(SearchEngine engine) const;
    void SetEngineEnabled(SearchEngine engine, bool on);

    bool operator==(const CSearchSettings&) const = default;
};
