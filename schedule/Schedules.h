#pragma once
// A list's schedule: tallowick-rank run for its data file at set times without the window. On
// Linux a systemd user service and timer (Persistent=true: a run missed while the computer was
// off is made at the next start); where no systemd user manager answers, one line of the user's
// crontab. On Windows a task of the Task Scheduler.

#include "schedule/ScheduleWhen.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tw::schedule {

struct ScheduleRequest {
    QString dataFile;    // absolute
    ScheduleWhen when;   // Off removes the list's schedule
    QStringList runArgs; // the run's options, after -d FILE
    QString program;     // absolute path of tallowick-rank
};

enum class Backend { Systemd, Cron, TaskScheduler };

struct ScheduledList {
    QString dataFile;
    ScheduleWhen when;
    Backend backend = Backend::Systemd;
    QString where; // the timer's unit file, "crontab" or the task's name
};

// The tallowick-rank that schedules run: this program when it is tallowick-rank, else the one
// beside it (installed) or in the build tree, else the one on PATH. Empty with a message when
// there is none.
QString rankProgramPath(QString* error);

// The run's options as tallowick-rank spells them, in a fixed order. depth and threads 0, an
// empty engine list and empty sources are left out.
struct RunOptions {
    int depth = 0;
    int threads = 0;
    QStringList engines;                              // keys, e.g. "google"
    std::vector<std::pair<QString, QString>> sources; // slot key, source text ("serpapi:bing")
};
QStringList runArguments(const RunOptions& options);

// "tallowick-rank-1a2b3c4d-clients", from the absolute path: the same list always gets the same
// name, two lists of the same name in different folders get different ones.
QString unitBaseName(const QString& dataFile);
QString systemdUnitDir(); // $XDG_CONFIG_HOME/systemd/user

// One word of ExecStart=, quoted: spaces, quotes, backslashes, '%' and '$' come through.
// program: the first word, in which systemd replaces no variables.
QString systemdQuote(const QString& arg, bool program = false);
// One argument for sh, in single quotes.
QString shellQuote(const QString& arg);

QString serviceUnitText(const ScheduleRequest& request);
QString timerUnitText(const ScheduleRequest& request);
// The crontab line, with its trailing mark naming the list; '%' escaped for cron.
QString cronLine(const ScheduleRequest& request);
// current with the list's line replaced by line (in place), or added at the end; with an empty
// line, removed. Every other line is kept byte for byte.
QByteArray updatedCrontab(const QByteArray& current, const QString& dataFile, const QString& line);
std::vector<ScheduledList> parseCrontab(const QByteArray& crontab);

// Whether a systemd user manager answers (systemctl --user show-environment).
bool systemdAvailable();

// Writes, enables or removes the schedule. done: what was done, in words.
bool applySchedule(const ScheduleRequest& request, QString* done, QString* error);

// Every schedule Tallowick made, for any list; problems: what could not be looked at.
std::vector<ScheduledList> listSchedules(QString* problems = nullptr);

// The schedule of one list, if it has one.
std::optional<ScheduledList> scheduleOf(const QString& dataFile, QString* problems = nullptr);

QString backendWords(const ScheduledList& list);

} // namespace tw::schedule
