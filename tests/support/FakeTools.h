#pragma once
// Stand-ins for systemctl and crontab on PATH, so that schedule tests never reach the user's
// systemd manager or crontab. Each records its arguments, one call a line, in calls.log.
// crontab keeps "its" crontab in crontab.txt (-l prints it; "-" replaces it with standard
// input); without the file, -l says "no crontab for tester". systemctl answers
// show-environment only when a manager is said to be there; failWith makes its other calls fail.

#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace tw::test {

class FakeTools {
public:
    // systemd: whether "systemctl --user show-environment" answers.
    explicit FakeTools(bool systemd) {
        const QString log = m_dir.filePath(QStringLiteral("calls.log"));
        const QString tab = m_dir.filePath(QStringLiteral("crontab.txt"));
        writeScript(QStringLiteral("systemctl"),
                    QStringLiteral("echo \"systemctl $*\" >> '%1'\n"
                                   "case \"$*\" in *show-environment*) %3 ;; esac\n"
                                   "[ -f '%2' ] && { cat '%2' >&2; exit 1; }\n"
                                   "exit 0\n")
                        .arg(log, m_dir.filePath(QStringLiteral("systemctl.fails")),
                             systemd ? QStringLiteral("echo HOME=/h; exit 0")
                                     : QStringLiteral("echo 'Failed to connect to bus' >&2; "
                                                      "exit 1")));
        writeScript(
            QStringLiteral("crontab"),
            QStringLiteral("echo \"crontab $*\" >> '%1'\n"
                           "[ -f '%3' ] && { cat '%3' >&2; exit 1; }\n"
                           "if [ \"$1\" = -l ]; then\n"
                           "  [ -f '%2' ] || { echo 'no crontab for tester' >&2; exit 1; }\n"
                           "  cat '%2'; exit 0\n"
                           "fi\n"
                           "[ \"$1\" = - ] && { cat > '%2'; exit 0; }\n"
                           "exit 2\n")
                .arg(log, tab, m_dir.filePath(QStringLiteral("crontab.fails"))));
        m_oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_oldPath);
    }
    ~FakeTools() { qputenv("PATH", m_oldPath); }
    FakeTools(const FakeTools&) = delete;
    FakeTools& operator=(const FakeTools&) = delete;

    QString crontabFile() const { return m_dir.filePath(QStringLiteral("crontab.txt")); }
    // The calls since the last take, one a line.
    QStringList takeCalls() {
        const QString path = m_dir.filePath(QStringLiteral("calls.log"));
        const QStringList calls = QString::fromUtf8(readFile(path)).split('\n', Qt::SkipEmptyParts);
        QFile::remove(path);
        return calls.size() == 1 && calls[0] == QLatin1String("<missing>") ? QStringList() : calls;
    }
    // The tool fails with this message on standard error from now on; empty: it works again.
    void failWith(const QString& tool, const QByteArray& message) {
        const QString path = m_dir.filePath(tool + QStringLiteral(".fails"));
        if (message.isEmpty())
            QFile::remove(path);
        else
            writeFile(path, message);
    }

private:
    void writeScript(const QString& name, const QString& body) {
        const QString path = m_dir.filePath(name);
        writeFile(path, "#!/bin/sh\n" + body.toUtf8());
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    }

    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

} // namespace tw::test
