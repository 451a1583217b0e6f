#pragma once
// The outcome of tallowick-rank's latest run of a list, kept beside its data file in
// "<data file name without extension>.lastrun.json", so that a scheduled run that nobody watched
// can be looked at later:
//
//   {"time": "2026-12-08T07:30:00+01:00", "finished": "2026-12-08T07:34:12+01:00",
//    "status": 0, "message": "Ranked 40 entries; ...",
//    "changes": {"google": {"up": 18, "down": 9, "same": 30, "new": 1, "dropped": 9,
//                           "entered": 2, "error": 0}, ...}}
//
// "changes" holds the slots the run wrote results in, keyed as the JSON output keys them; it is
// empty ({}) when the run ranked nothing (a list held by another run: status 3).

#include "base/RankTypes.h"
#include "rank/RunChanges.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <optional>
#include <string>

namespace rank {

struct LastRun {
    QDateTime time;     // the run's start
    QDateTime finished; // when it ended
    int status = 0;     // tallowick-rank's exit status
    QString message;    // one line: what happened
    std::array<std::optional<ChangeCounts>, kEngineCount> changes;
};

// "clients/acme.dat" -> "clients/acme.lastrun.json".
QString LastRunPath(const QString& dataFilePath);

// The counts of the slots changes has, as the last-run file and the JSON output keep them:
// {"google": {"up": 18, ...}, ...}, as text (indent as nlohmann::json::dump takes it).
std::string ChangesJson(const RunChanges& changes, int indent = -1);

// Writes the file for the data file at dataFilePath, replacing the old one only once the new one
// is complete. False with the reason.
bool WriteLastRun(const QString& dataFilePath, const LastRun& run, QString* error);
// The latest run's outcome; empty when there is no such file yet (error then empty) or it cannot
// be read or is not one (error says why). Fields it lacks keep their defaults; slots it does not
// know are skipped.
std::optional<LastRun> ReadLastRun(const QString& dataFilePath, QString* error = nullptr);

} // namespace rank
