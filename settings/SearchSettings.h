#pragma once
// The values that decide how a ranking run searches: which engines are asked, how many result
// pages are read per engine and entry, and how many entries are ranked at once. The settings
// dialog edits them; the command-line tool reads them without any window.

#include "app/RankTypes.h"

class CSearchSettings {
public:
    // Result pages read per engine and entry (the search depth).
    int m_MaxPages = 20;
    // Entries ranked at the same time.
    int m_MaxThreads = 3;
    // Engine switches, 0 or 1.
    int m_bAltavista = 1;
    int m_bGoogle = 1;
    int m_bLycos = 1;
    int m_bLooksmart = 1;

    // Reads the stored values over the current ones; what is absent keeps its value.
    void Load();
    // Writes all six values.
    void Save() const;

    bool EngineEnabled(SearchEngine engine) const;
};
