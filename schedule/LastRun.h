#pragma once
// What the last tallowick-rank run of a list came to, from the last-run file beside its data
// file (NAME.lastrun.json): when, its exit status, its message and its change counts per slot.

#include <QDateTime>
#include <QString>

#include <map>
#include <string>

namespace tw::schedule {

struct ChangeCounts {
    int up = 0, down = 0, same = 0, added = 0, dropped = 0, entered = 0, error = 0;
};

struct LastRun {
    enum State { None, Bad, Read } state = None;
    QString problem; // Bad: why the file could not be read
    QDateTime time;  // when the run started
    QDateTime finished;
    int status = -1; // -1: not given
    QString message;
    std::map<std::string, ChangeCounts> changes; // per slot key ("google")
};

QString lastRunPath(const QString& dataFilePath);

// A missing file is None; a file that is not what we write is Bad. Fields that are missing or
// of the wrong type are left out, so a newer writer's file still reads.
LastRun readLastRun(const QString& dataFilePath);

// One line: "2026-12-08 07:30, exit status 0 (done); google: 18 up, 9 down, 30 same, ...",
// "no scheduled run yet", "the last-run file ... could not be read: ...".
QString lastRunText(const LastRun& run);

} // namespace tw::schedule
