#include "schedule/ExternalCommand.h"

#include <QDeadlineTimer>
#include <QProcess>

namespace tw::schedule {

QString CommandResult::failure(const QString& program, const QStringList& args) const {
    const QString command = QStringList(QStringList{program} + args).join(' ');
    if (!started)
        return QStringLiteral("\"%1\" could not be started: it was not found or cannot be run.")
            .arg(command);
    if (timedOut)
        return QStringLiteral("\"%1\" gave no answer in %2 seconds.")
            .arg(command)
            .arg(kCommandTimeoutMs / 1000);
    if (tooLong)
        return QStringLiteral("\"%1\" wrote more than %2 MB; it was stopped.")
            .arg(command)
            .arg(kMaxCommandOutput / (1024 * 1024));
    QString why = QString::fromLocal8Bit(err).trimmed();
    if (why.isEmpty())
        why = QString::fromLocal8Bit(out).trimmed();
    why = why.section('\n', 0, 0).trimmed().left(300);
    if (why.isEmpty())
        why = QStringLiteral("exit status %1").arg(exitCode);
    return QStringLiteral("\"%1\" failed: %2").arg(command, why);
}

CommandResult runCommand(const QString& program, const QStringList& args, const QByteArray& input,
                         int timeoutMs) {
    CommandResult result;
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(timeoutMs))
        return result;
    result.started = true;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    const QDeadlineTimer deadline(timeoutMs);
    // Read as it comes, so that a tool writing without end is stopped at the limit.
    while (process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired()) {
            result.timedOut = true;
            break;
        }
        process.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 200)));
        result.out += process.readAllStandardOutput();
        result.err += process.readAllStandardError();
        if (result.out.size() + result.err.size() > kMaxCommandOutput) {
            result.tooLong = true;
            break;
        }
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(2000);
        return result;
    }
    result.out += process.readAllStandardOutput();
    result.err += process.readAllStandardError();
    if (result.out.size() + result.err.size() > kMaxCommandOutput) {
        result.tooLong = true;
        return result;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

} // namespace tw::schedule
