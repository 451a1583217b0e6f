#include "history/HistoryCheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::historycheck {

namespace {

// The first pages: the header (page count, change counter, schema cookie) and the schema.
constexpr qint64 kHeadBytes = 64 * 1024;
// Histories remembered; the oldest are dropped beyond this.
constexpr int kRememberedLimit = 200;
// A remembered-checks file larger than this is not ours to read.
constexpr qint64 kRememberedFileLimit = 256 * 1024;

// What identifies one state of a file: every write changes its change time, which no program
// can set back.
void addState(QCryptographicHash& hash, const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0) {
        hash.addData(QByteArrayView("none"));
        return;
    }
    const qint64 numbers[] = {qint64(st.st_dev),          qint64(st.st_ino),
                              qint64(st.st_size),         qint64(st.st_mtim.tv_sec),
                              qint64(st.st_mtim.tv_nsec), qint64(st.st_ctim.tv_sec),
                              qint64(st.st_ctim.tv_nsec)};
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(numbers), sizeof numbers));
    if (!S_ISREG(st.st_mode))
        return;
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return;
    QByteArray head(kHeadBytes, '\0');
    const ssize_t got = ::pread(fd, head.data(), std::size_t(head.size()), 0);
    ::close(fd);
    if (got > 0)
        hash.addData(QByteArrayView(head.constData(), qsizetype(got)));
}

QByteArray fingerprint(const QString& path) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    addState(hash, path);
    addState(hash, path + QStringLiteral("-wal"));
    return hash.result().toHex();
}

QByteArray keyOf(const QString& path) {
    return QCryptographicHash::hash(QFileInfo(path).absoluteFilePath().toUtf8(),
                                    QCryptographicHash::Sha256)
        .toHex();
}

// Lines "key fingerprint", oldest first.
QList<QByteArray> readRemembered() {
    const QString file = rememberedChecksFile();
    const QFileInfo info(file);
    if (!info.isFile() || info.isSymLink() || info.size() > kRememberedFileLimit)
        return {};
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines;
    for (const QByteArray& line : in.read(kRememberedFileLimit).split('\n')) {
        if (line.count(' ') == 1)
            lines.append(line);
    }
    return lines;
}

} // namespace

QStringList companionFiles(const QString& path) {
    return {path + QStringLiteral("-wal"), path + QStringLiteral("-shm"),
            path + QStringLiteral("-journal")};
}

QString linkedFile(const QString& path) {
    for (const QString& file : QStringList{path} + companionFiles(path)) {
        struct stat st {};
        if (::lstat(QFile::encodeName(file).constData(), &st) == 0 && S_ISLNK(st.st_mode))
            return file;
    }
    return {};
}

QString rememberedChecksFile() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
        .filePath(QStringLiteral("Tallowick!/history-checks"));
}

bool rememberedSound(const QString& path) {
    const QByteArray wanted = keyOf(path) + ' ' + fingerprint(path);
    return readRemembered().contains(wanted);
}

void rememberSound(const QString& path) {
    const QByteArray key = keyOf(path) + ' ';
    QList<QByteArray> lines = readRemembered();
    lines.removeIf([&key](const QByteArray& line) { return line.startsWith(key); });
    lines.append(key + fingerprint(path));
    while (lines.size() > kRememberedLimit)
        lines.removeFirst();
    // Nothing depends on this file but the time of the next check: a failure is no error.
    const QString file = rememberedChecksFile();
    if (QFileInfo(file).isSymLink() || !QDir().mkpath(QFileInfo(file).path()))
        return;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return;
    out.write(lines.join('\n') + '\n');
    out.commit();
}

} // namespace tw::historycheck
