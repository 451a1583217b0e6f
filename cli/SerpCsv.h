#pragma once
// --serp-csv: every result a run kept, one line each, with whether it is the entry's target and
// which competitor it is, for a spreadsheet to count who holds the keywords.

#include "cli/CliResults.h"

#include <QString>

#include <string>
#include <vector>

namespace cli {

// "url,keywords,slot,engine,position,result_url,is_target,competitor" and CR LF.
std::string SerpCsvHeader();

// The lines of one entry's slot: its kept results in order, position from 1; is_target is 1
// where the result matches the target (the rule that ranks it), competitor the first of
// competitors it matches (empty: none). Cells go through the spreadsheet guard.
std::string SerpCsvLines(const EntryRow& row, const std::string& slotKey, const std::string& engine,
                         const std::vector<std::string>& results,
                         const std::vector<std::string>& competitors);

// Writes the table to path ("-": standard output), entries in row order and slots in column
// order: the kept results of the run (EngineOutcome::results), or with latest given those of the
// result it returns (the latest recorded; it must load the kept results). A file is replaced
// only once the table is complete. False with a message naming the file.
bool WriteSerpCsvFile(const QString& path, const std::vector<EntryRow>& rows,
                      const std::vector<RankedRow>& ranked,
                      const std::vector<std::string>& competitors, const PreviousLookup& latest,
                      QString* error);

} // namespace cli
