#pragma once
// Runs the built tallowick-rank for the command-line tests and collects what it did.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace tw::test {

inline const QString kRankProgram = QStringLiteral(TW_BINARY_DIR "/cli/tallowick-rank");

struct CliResult {
    int code = -1; // the exit status; -1 when it crashed or did not end in time
    QByteArray out, err;
};

// Runs the program with args in dir (and env, when given); killed after timeoutMs.
inline CliResult RunRankCli(const QStringList& args, const QString& dir, int timeoutMs = 60000,
                            const QProcessEnvironment* env = nullptr) {
    QProcess p;
    if (env)
        p.setProcessEnvironment(*env);
    p.setWorkingDirectory(dir);
    p.start(kRankProgram, args);
    CliResult r;
    if (!p.waitForStarted() || !p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

} // namespace tw::test
