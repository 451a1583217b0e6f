#include "schedule/LastRun.h"

#include "data/DataFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace tw::schedule {

namespace {

constexpr qint64 kMaxLastRunBytes = 1024 * 1024;

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
    case 130:
        return QStringLiteral("interrupted");
    default:
        return {};
    }
}

int count(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isDouble() ? v.toInt() : 0;
}

} // namespace

QString lastRunPath(const QString& dataFilePath) {
    return datafile::BesidePath(dataFilePath, QStringLiteral(".lastrun.json"));
}

LastRun readLastRun(const QString& dataFilePath) {
    LastRun run;
    const QString path = lastRunPath(dataFilePath);
    QFile file(path);
    if (!file.exists())
        return run;
    run.state = LastRun::Bad;
    if (!file.open(QIODevice::ReadOnly)) {
        run.problem = file.errorString();
        return run;
    }
    if (file.size() > kMaxLastRunBytes) {
        run.problem = QStringLiteral("it is larger than 1 MB");
        return run;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.read(kMaxLastRunBytes), &parseError);
    if (!doc.isObject()) {
        run.problem = parseError.error != QJsonParseError::NoError
                          ? parseError.errorString()
                          : QStringLiteral("it holds no JSON object");
        return run;
    }
    const QJsonObject o = doc.object();
    run.state = LastRun::Read;
    run.time = QDateTime::fromString(o.value(QLatin1String("time")).toString(), Qt::ISODate);
    run.finished =
        QDateTime::fromString(o.value(QLatin1String("finished")).toString(), Qt::ISODate);
    if (o.value(QLatin1String("status")).isDouble())
        run.status = o.value(QLatin1String("status")).toInt();
    run.message = o.value(QLatin1String("message")).toString().simplified();
    const QJsonObject changes = o.value(QLatin1String("changes")).toObject();
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (!it.value().isObject())
            continue;
        const QJsonObject c = it.value().toObject();
        ChangeCounts counts;
        counts.up = count(c, "up");
        counts.down = count(c, "down");
        counts.same = count(c, "same");
        counts.added = count(c, "new");
        counts.dropped = count(c, "dropped");
        counts.entered = count(c, "entered");
        counts.error = count(c, "error");
        run.changes[it.key().toStdString()] = counts;
    }
    return run;
}

QString lastRunText(const LastRun& run) {
    if (run.state == LastRun::None)
        return QStringLiteral("no scheduled run yet");
    if (run.state == LastRun::Bad)
        return QStringLiteral("the last-run file could not be read: %1").arg(run.problem);
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
