#pragma once
// Runs what follows as user "nobody" (file permissions then bind) for as long as it lives, when
// the test runs as the superuser; the real user stays, so the change can be undone.
//
// Nobody must be able to reach what it is given: a checkout or a temporary folder below a
// folder closed to others (a home folder of mode 0700) is out of its reach, and a test would
// fail for that alone. NobodyMayReach says so first, and CopyForNobody puts a program where
// nobody can start it.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tw::test {

inline constexpr uid_t kNobodyUid = 65534;
inline constexpr gid_t kNobodyGid = 65534;

class ScopedNobody {
public:
    ScopedNobody() {
        if (geteuid() == 0)
            m_switched = setegid(kNobodyGid) == 0 && seteuid(kNobodyUid) == 0;
    }
    ~ScopedNobody() {
        if (m_switched) {
            [[maybe_unused]] const int u = seteuid(0);
            [[maybe_unused]] const int g = setegid(0);
        }
    }
    ScopedNobody(const ScopedNobody&) = delete;
    ScopedNobody& operator=(const ScopedNobody&) = delete;

    // Whether permission bits now bind.
    bool binds() const { return geteuid() != 0; }

private:
    bool m_switched = false;
};

// Whether user "nobody", with no group besides its own, may reach path as access(2) asks with
// mode (R_OK, W_OK, X_OK or F_OK): asked in a child that becomes nobody, as a program started
// as nobody would. False also when the user cannot be changed (not the superuser).
inline bool NobodyMayReach(const QString& path, int mode) {
    const QByteArray name = QFile::encodeName(path);
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobodyGid) != 0 || setuid(kNobodyUid) != 0)
            _exit(2);
        _exit(access(name.constData(), mode) == 0 ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Why a test that runs as nobody is skipped when nobody cannot reach folder.
inline QByteArray NobodyCannotReach(const QString& folder) {
    return "user nobody cannot reach " + QFile::encodeName(folder) +
           " (a folder above it is closed to others; point TMPDIR at a folder others may enter)";
}

// A copy of program in folder (made if need be, and open to others), for a program that is to
// run as nobody: the build folder may lie where nobody cannot reach it. The programs link our
// libraries statically, so the program is all there is to copy. Empty when it cannot be copied.
inline QString CopyForNobody(const QString& program, const QString& folder) {
    if (!QDir().mkpath(folder) || chmod(QFile::encodeName(folder).constData(), 0755) != 0)
        return QString();
    const QString copy = QDir(folder).filePath(QFileInfo(program).fileName());
    QFile::remove(copy);
    if (!QFile::copy(program, copy) || chmod(QFile::encodeName(copy).constData(), 0755) != 0)
        return QString();
    return copy;
}

} // namespace tw::test
