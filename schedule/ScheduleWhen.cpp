#include "schedule/ScheduleWhen.h"

#include <QRegularExpression>
#include <QStringList>

namespace tw::schedule {

namespace {

const char* const kDayKeys[7] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
const char* const kDayNames[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr unsigned kEveryDay = 0x7f;

QString hhmm(const QTime& t) {
    return t.toString(QStringLiteral("HH:mm"));
}

// Weekday days as a list of names, Monday first, joined by sep.
QString dayList(unsigned days, const char* const names[7], const QString& sep) {
    QStringList out;
    for (int d = 0; d < 7; ++d) {
        if (days & (1u << d))
            out << QLatin1String(names[d]);
    }
    return out.join(sep);
}

} // namespace

bool ScheduleWhen::runsOn(int dayOfWeek) const {
    if (kind == Daily)
        return true;
    return kind == Weekdays && dayOfWeek >= 1 && dayOfWeek <= 7 && (days & (1u << (dayOfWeek - 1)));
}

bool parseWhen(const QString& text, ScheduleWhen* out, QString* error) {
    const auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("Bad schedule '%1': %2 Give off, daily@HH:MM or days@HH:MM "
                                    "with days from mon,tue,wed,thu,fri,sat,sun, e.g. "
                                    "mon,wed,fri@07:30.")
                         .arg(text, why);
        return false;
    };
    const QString t = text.trimmed().toLower();
    ScheduleWhen when;
    if (t == QLatin1String("off")) {
        *out = when;
        return true;
    }
    const qsizetype at = t.indexOf('@');
    if (at < 0)
        return fail(QStringLiteral("no time after '@'."));
    static const QRegularExpression clock(QStringLiteral("^([0-9]{1,2}):([0-9]{2})$"));
    const QRegularExpressionMatch m = clock.match(t.mid(at + 1).trimmed());
    const int hour = m.hasMatch() ? m.captured(1).toInt() : -1;
    const int minute = m.hasMatch() ? m.captured(2).toInt() : -1;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return fail(QStringLiteral("the time must be HH:MM, 00:00 to 23:59."));
    when.time = QTime(hour, minute);
    const QString days = t.left(at).trimmed();
    if (days == QLatin1String("daily")) {
        when.kind = ScheduleWhen::Daily;
    } else {
        for (const QString& part : days.split(',')) {
            const QString key = part.trimmed();
            int d = 0;
            while (d < 7 && key != QLatin1String(kDayKeys[d]))
                ++d;
            if (d == 7)
                return fail(key.isEmpty() ? QStringLiteral("a day is missing.")
                                          : QStringLiteral("'%1' is not a day.").arg(key));
            when.days |= 1u << d;
        }
        when.kind = when.days == kEveryDay ? ScheduleWhen::Daily : ScheduleWhen::Weekdays;
        if (when.kind == ScheduleWhen::Daily)
            when.days = 0;
    }
    *out = when;
    return true;
}

QString whenText(const ScheduleWhen& when) {
    switch (when.kind) {
    case ScheduleWhen::Off:
        return QStringLiteral("off");
    case ScheduleWhen::Daily:
        return QStringLiteral("daily@") + hhmm(when.time);
    case ScheduleWhen::Weekdays:
        break;
    }
    return dayList(when.days, kDayKeys, QStringLiteral(",")) + '@' + hhmm(when.time);
}

QString whenWords(const ScheduleWhen& when) {
    switch (when.kind) {
    case ScheduleWhen::Off:
        return QStringLiteral("off");
    case ScheduleWhen::Daily:
        return QStringLiteral("every day at ") + hhmm(when.time);
    case ScheduleWhen::Weekdays:
        break;
    }
    return dayList(when.days, kDayNames, QStringLiteral(", ")) + QStringLiteral(" at ") +
           hhmm(when.time);
}

QDateTime nextRun(const ScheduleWhen& when, const QDateTime& from) {
    if (when.kind == ScheduleWhen::Off || (when.kind == ScheduleWhen::Weekdays && !when.days))
        return {};
    const QDateTime local = from.toLocalTime();
    // A week and a day cover every weekday; a time skipped by a clock change moves on.
    for (int i = 0; i <= 8; ++i) {
        const QDate day = local.date().addDays(i);
        if (!when.runsOn(day.dayOfWeek()))
            continue;
        const QDateTime at(day, when.time);
        if (at.isValid() && at > local)
            return at;
    }
    return {};
}

QString onCalendar(const ScheduleWhen& when) {
    const QString time = when.time.toString(QStringLiteral("HH:mm:00"));
    if (when.kind == ScheduleWhen::Weekdays)
        return dayList(when.days, kDayNames, QStringLiteral(",")) + QStringLiteral(" *-*-* ") +
               time;
    return QStringLiteral("*-*-* ") + time;
}

QString cronFields(const ScheduleWhen& when) {
    QString dow = QStringLiteral("*");
    if (when.kind == ScheduleWhen::Weekdays) {
        QStringList days;
        for (int d = 0; d < 7; ++d) {
            if (when.days & (1u << d))
                days << QString::number((d + 1) % 7); // cron counts Sunday as 0
        }
        std::sort(days.begin(), days.end());
        dow = days.join(',');
    }
    return QStringLiteral("%1 %2 * * %3").arg(when.time.minute()).arg(when.time.hour()).arg(dow);
}

bool parseCronFields(const QString& fields, ScheduleWhen* out) {
    static const QRegularExpression form(
        QStringLiteral("^([0-9]{1,2}) ([0-9]{1,2}) \\* \\* (\\*|[0-6](?:,[0-6])*)$"));
    const QRegularExpressionMatch m = form.match(fields.simplified());
    if (!m.hasMatch())
        return false;
    const int minute = m.captured(1).toInt();
    const int hour = m.captured(2).toInt();
    if (minute > 59 || hour > 23)
        return false;
    ScheduleWhen when;
    when.time = QTime(hour, minute);
    if (m.captured(3) == QLatin1String("*")) {
        when.kind = ScheduleWhen::Daily;
    } else {
        for (const QString& d : m.captured(3).split(','))
            when.days |= 1u << ((d.toInt() + 6) % 7);
        when.kind = when.days == kEveryDay ? ScheduleWhen::Daily : ScheduleWhen::Weekdays;
        if (when.kind == ScheduleWhen::Daily)
            when.days = 0;
    }
    *out = when;
    return true;
}

} // namespace tw::schedule
