#include "schedule/LastRun.h"

#include "base/Engines.h"
#include "rank/LastRun.h"

#include <QStringList>

namespace tw::schedule {

namespace {

QString statusWords(int status) {
    switch (status) {
    case 0:
        return QStringLiteral("done");
    case 2:
        return QStringLiteral("bad command line");
    case 3:
        return QStringLiteral("data file unreadable, unwritable or in use");
    case 4:
        return QStringLiteral("an output file could not be written");
    case 5:
        return QStringLiteral("not every entry ranked");
    case 6:
        return QStringLiteral("history not written");
    case 7:
        return QStringLiteral("an alert could not be sent");
    case 8:
        return QStringLiteral("the schedule could not be set");
    case 130:
        return QStringLiteral("interrupted");
    default:
        return {};
    }
}

} // namespace

QString lastRunPath(const QString& dataFilePath) {
    return rank::LastRunPath(dataFilePath);
}

// The file is read where it is written, so the two never disagree on its format.
LastRun readLastRun(const QString& dataFilePath) {
    LastRun run;
    QString error;
    const std::optional<rank::LastRun> read = rank::ReadLastRun(dataFilePath, &error);
    if (!read) {
        if (!error.isEmpty()) {
            run.state = LastRun::Bad;
            run.problem = error;
        }
        return run;
    }
    run.state = LastRun::Read;
    run.time = read->time;
    run.finished = read->finished;
    run.status = read->status;
    run.message = read->message.simplified();
    for (int e = 0; e < kEngineCount; ++e) {
        if (const auto& c = read->changes[std::size_t(e)])
            run.changes[engines::Info(SearchEngine(e)).key] = {
                c->up, c->down, c->same, c->added, c->dropped, c->entered, c->error};
    }
    return run;
}

QString lastRunText(const LastRun& run) {
    if (run.state == LastRun::None)
        return QStringLiteral("no scheduled run yet");
    if (run.state == LastRun::Bad)
        return QStringLiteral("the last-run file %1").arg(run.problem);
    QStringList parts;
    QString head = run.time.isValid()
                       ? run.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                       : QStringLiteral("time not given");
    if (run.status >= 0) {
        head += QStringLiteral(", exit status %1").arg(run.status);
        if (const QString w = statusWords(run.status); !w.isEmpty())
            head += QStringLiteral(" (%1)").arg(w);
    }
    parts << head;
    for (const auto& [slot, c] : run.changes)
        parts << QStringLiteral("%1: %2 up, %3 down, %4 same, %5 new, %6 dropped, %7 entered, "
                                "%8 error")
                     .arg(QString::fromStdString(slot))
                     .arg(c.up)
                     .arg(c.down)
                     .arg(c.same)
                     .arg(c.added)
                     .arg(c.dropped)
                     .arg(c.entered)
                     .arg(c.error);
    QString text = parts.join(QStringLiteral("; "));
    if (!run.message.isEmpty())
        text += QStringLiteral(" - ") + run.message.left(300);
    return text;
}

} // namespace tw::schedule
