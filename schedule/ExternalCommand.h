#pragma once
// Runs a system tool (systemctl, crontab, schtasks) to its end: with a time-out, its output
// bounded, its failure put in words.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tw::schedule {

struct CommandResult {
    bool started = false;
    bool timedOut = false;
    bool tooLong = false; // more output than the limit: the tool was stopped
    int exitCode = -1;    // when it ended by itself
    QByteArray out;
    QByteArray err;

    bool ok() const { return started && !timedOut && !tooLong && exitCode == 0; }
    // "systemctl --user enable --now x.timer failed: <its first error line>".
    QString failure(const QString& program, const QStringList& args) const;
};

inline constexpr int kCommandTimeoutMs = 20000;
inline constexpr qint64 kMaxCommandOutput = 4 * 1024 * 1024;

// The program is found on PATH. input goes to its standard input, which is then closed.
CommandResult runCommand(const QString& program, const QStringList& args,
                         const QByteArray& input = {}, int timeoutMs = kCommandTimeoutMs);

} // namespace tw::schedule
