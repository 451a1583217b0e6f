#pragma once
// Words and lines made from the rank history: the change since the previous run, the engine
// cell's tooltip, the CSV export. Free of widgets.

#include "history/HistoryStore.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tw {

// How a slot's result moved from one run to the next. A lower rank is better: up.
enum class RankChange {
    None,       // nothing to compare with: no previous result
    Up,         // ranked both times, better now
    Down,       // ranked both times, worse now
    Same,       // ranked at the same place, or not found both times
    New,        // ranked now, not found before
    DroppedOut, // ranked before, not found now
    Unknown,    // one of the two is an error: nothing is known there
};

RankChange rankChange(const HistoryResult* previous, const HistoryResult& current);
// "up 2", "down 3", "same", "new", "dropped out", "unknown"; empty for None.
QString rankChangeText(const HistoryResult* previous, const HistoryResult& current);

// Tooltip of an engine cell: "was Rank 9 / Page 1 on 2026-12-01: up 2". Empty when there is no
// previous result. The date is the previous run's, in the local calendar.
QString previousResultTip(const HistoryRecord* previous, const HistoryResult& current);

// ISO 8601 with the offset written out, "2026-12-01T09:30:00+01:00" (never "Z").
QString isoTimeWithOffset(const QDateTime& time);

// CSV (RFC 4180, UTF-8, CR LF line ends). The header line, then one line per result.
QByteArray csvHeader();
QByteArray csvLine(const QDateTime& time, const std::string& url, const std::string& keywords,
                   const HistoryResult& result);
// A cell as a field: with an apostrophe before it when a spreadsheet would take it for a
// formula (base/CsvCells.h), quoted when it holds a comma, a quote, a CR or an LF (quotes doubled).
QByteArray csvField(const QByteArray& cell);

} // namespace tw
