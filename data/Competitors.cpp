#include "data/Competitors.h"

#include "data/DataFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace datafile {

namespace {

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

} // namespace

QString CompetitorsPath(const QString& dataFilePath) {
    return BesidePath(dataFilePath, QStringLiteral(".competitors.txt"));
}

bool ParseCompetitors(const QByteArray& text, std::vector<std::string>* sites, QString* error) {
    sites->clear();
    // An editor's byte order mark would otherwise become part of the first site, which then
    // never matches.
    const QList<QByteArray> lines =
        (text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text).split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QByteArray line = lines[n];
        if (const qsizetype hash = line.indexOf('#'); hash >= 0)
            line.truncate(hash);
        std::string site(line.constData(), std::size_t(line.size()));
        while (!site.empty() && isBlank(site.back()))
            site.pop_back();
        site.erase(0,
                   std::size_t(std::find_if_not(site.begin(), site.end(), isBlank) - site.begin()));
        if (site.empty())
            continue;
        if (std::any_of(site.begin(), site.end(), isBlank)) {
            setError(error, QStringLiteral("Line %1: \"%2\" has a blank in it. A competitor is "
                                           "one site, a domain or part of a URL, per line.")
                                .arg(n + 1)
                                .arg(QString::fromUtf8(site.data(), qsizetype(site.size()))));
            sites->clear();
            return false;
        }
        if (std::find(sites->begin(), sites->end(), site) == sites->end())
            sites->push_back(std::move(site));
    }
    return true;
}

bool ReadCompetitors(const QString& path, std::vector<std::string>* sites, QString* error) {
    sites->clear();
    QFile file(path);
    if (!file.exists())
        return true;
    // A competitors file is a few lines; anything far larger is not one.
    constexpr qint64 kMaxSize = 1 << 20;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSize) {
        setError(error, QStringLiteral("The competitors file \"%1\" could not be read: %2")
                            .arg(QDir::toNativeSeparators(path),
                                 file.isOpen() ? QStringLiteral("it is larger than 1 MB")
                                               : file.errorString()));
        return false;
    }
    QString reason;
    if (!ParseCompetitors(file.readAll(), sites, &reason)) {
        setError(error, QStringLiteral("The competitors file \"%1\" is not valid. %2")
                            .arg(QDir::toNativeSeparators(path), reason));
        return false;
    }
    return true;
}

bool WriteCompetitors(const QString& path, const std::vector<std::string>& sites, QString* error) {
    if (sites.empty()) {
        if (QFile::exists(path) && !QFile::remove(path)) {
            setError(error, QStringLiteral("The competitors file \"%1\" could not be removed.")
                                .arg(QDir::toNativeSeparators(path)));
            return false;
        }
        return true;
    }
    QSaveFile file(path);
    QByteArray text;
    for (const std::string& site : sites) {
        text.append(site.data(), qsizetype(site.size()));
        text.append('\n');
    }
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        setError(error, QStringLiteral("The competitors file \"%1\" could not be written: %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    return true;
}

} // namespace datafile
