#pragma once
// When a list is ranked without the window: off, every day at a time, or on some weekdays at a
// time. Written "off", "daily@07:30" or "mon,wed,fri@07:30" on the command line and in the
// marks of the schedules we write.

#include <QDateTime>
#include <QString>
#include <QTime>

namespace tw::schedule {

struct ScheduleWhen {
    enum Kind { Off, Daily, Weekdays } kind = Off;
    unsigned days = 0; // Weekdays: bit 0 Monday ... bit 6 Sunday
    QTime time;        // hours and minutes, local time

    bool operator==(const ScheduleWhen&) const = default;
    bool runsOn(int dayOfWeek) const; // 1 Monday ... 7 Sunday
};

// Reads the text; letter case and spaces around the parts do not matter. False with a message
// that says what is accepted.
bool parseWhen(const QString& text, ScheduleWhen* out, QString* error);

// The text parseWhen reads back ("mon,wed,fri@07:30"; every day given as weekdays is "daily").
QString whenText(const ScheduleWhen& when);

// In words, for the dialog and the listing: "every day at 07:30", "Mon, Wed, Fri at 07:30".
QString whenWords(const ScheduleWhen& when);

// The first run strictly after from (local time); invalid for Off.
QDateTime nextRun(const ScheduleWhen& when, const QDateTime& from);

// systemd's OnCalendar= value: "*-*-* 07:30:00", "Mon,Wed,Fri *-*-* 07:30:00".
QString onCalendar(const ScheduleWhen& when);

// The five time fields of a crontab line: "30 7 * * *", "30 7 * * 1,3,5".
QString cronFields(const ScheduleWhen& when);

// Reads the five fields back, as cronFields writes them; false for anything else.
bool parseCronFields(const QString& fields, ScheduleWhen* out);

} // namespace tw::schedule
