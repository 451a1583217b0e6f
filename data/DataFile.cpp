#include "data/DataFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <unordered_map>

namespace datafile {

bool FileExists(const QString& path) {
    std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (f) {
        std::fclose(f);
        return true;
    }
    return errno != ENOENT;
}

namespace {
// Reads lines the way a text stream does: a read that runs into the end of the data sets
// the end flag; a line that ends at the end without a line end is still returned. Lines end
// at LF, a CR in front of it belonging to the line end; data without any LF (as written by
// systems that end lines with a lone CR) has its lines end at CR instead.
class LineReader {
public:
    explicit LineReader(const QByteArray& bytes)
        : m_p(bytes.constData()), m_end(bytes.constData() + bytes.size()),
          m_sep(bytes.contains('\n') ? '\n' : '\r') {}

    bool atEnd() const { return m_eof; }

    std::string readLine() {
        const void* found = std::memchr(m_p, m_sep, static_cast<size_t>(m_end - m_p));
        if (!found) {
            std::string line(m_p, m_end);
            m_p = m_end;
            m_eof = true;
            return line;
        }
        const char* sep = static_cast<const char*>(found);
        const char* stop = (m_sep == '\n' && sep > m_p && sep[-1] == '\r') ? sep - 1 : sep;
        std::string line(m_p, stop);
        m_p = sep + 1;
        return line;
    }

private:
    const char* m_p;
    const char* m_end;
    const char m_sep;
    bool m_eof = false;
};

QString reasonText(const QString& systemReason) {
    return systemReason.isEmpty() ? QStringLiteral("Unknown error") : systemReason;
}
} // namespace

std::vector<EntryRow> ParseEntries(const QByteArray& bytes) {
    std::vector<EntryRow> rows;
    rows.reserve(static_cast<size_t>(bytes.count('\n') / 6 + 1));
    LineReader in(bytes);

    std::string pendingUrl;
    if (!in.atEnd())
        pendingUrl = in.readLine();
    while (!in.atEnd()) {
        EntryRow row;
        row.cells[ColNumber] = std::to_string(rows.size() + 1);
        row.cells[ColUrl] = std::move(pendingUrl);
        pendingUrl.clear();
        if (!in.atEnd())
            row.cells[ColKeywords] = in.readLine();
        for (int e = 0; e < kEngineCount; ++e) {
            const int col = EngineColumn(e);
            if (in.atEnd())
                continue;
            std::string line = in.readLine();
            row.cells[col] = line.empty() ? std::string("-") : std::move(line);
        }
        rows.push_back(std::move(row));
        if (!in.atEnd())
            pendingUrl = in.readLine();
    }
    // A URL on the last line without a line end is an entry too (as one just added), not
    // something to drop at the next save. A CR left at its end is half a line end.
    if (!pendingUrl.empty() && pendingUrl.back() == '\r')
        pendingUrl.pop_back();
    if (!pendingUrl.empty()) {
        EntryRow row;
        row.cells[ColNumber] = std::to_string(rows.size() + 1);
        row.cells[ColUrl] = std::move(pendingUrl);
        for (int e = 0; e < kEngineCount; ++e)
            row.cells[EngineColumn(e)] = "-";
        rows.push_back(std::move(row));
    }
    return rows;
}

QByteArray FormatEntries(const std::vector<EntryRow>& rows) {
    // URL, keywords, then one result line per engine.
    static const auto kOrder = [] {
        std::array<int, 2 + kEngineCount> order{ColUrl, ColKeywords};
        for (int e = 0; e < kEngineCount; ++e)
            order[2 + e] = EngineColumn(e);
        return order;
    }();
    qsizetype total = 0;
    for (const EntryRow& row : rows)
        for (int col : kOrder)
            total += static_cast<qsizetype>(row.cells[col].size()) + 2;
    QByteArray out;
    out.reserve(total);
    for (const EntryRow& row : rows) {
        for (int col : kOrder) {
            const std::string& cell = row.cells[col];
            out.append(cell.data(), static_cast<qsizetype>(cell.size()));
            out.append("\r\n", 2);
        }
    }
    return out;
}

namespace {
std::string entryKey(const std::string& url, const std::string& keywords) {
    std::string key;
    key.reserve(url.size() + keywords.size() + 1);
    key += url;
    key += '\0';
    key += keywords;
    return key;
}
} // namespace

std::vector<OptionsRow> ApplyOptions(std::vector<EntryRow>& rows, std::vector<OptionsRow> file) {
    std::unordered_map<std::string, std::deque<size_t>> byKey;
    for (size_t i = 0; i < rows.size(); ++i)
        byKey[entryKey(rows[i].cells[ColUrl], rows[i].cells[ColKeywords])].push_back(i);
    std::vector<OptionsRow> kept;
    for (OptionsRow& r : file) {
        const auto it = byKey.find(entryKey(r.url, r.keywords));
        if (it == byKey.end() || it->second.empty()) {
            kept.push_back(std::move(r));
            continue;
        }
        rows[it->second.front()].options = std::move(r.options);
        it->second.pop_front();
    }
    return kept;
}

std::vector<OptionsRow> CollectOptions(const std::vector<EntryRow>& rows,
                                       const std::vector<OptionsRow>& kept) {
    std::unordered_map<std::string, bool> keyHasOptions;
    for (const EntryRow& r : rows) {
        if (!r.options.empty())
            keyHasOptions[entryKey(r.cells[ColUrl], r.cells[ColKeywords])] = true;
    }
    std::vector<OptionsRow> out;
    if (!keyHasOptions.empty()) {
        for (const EntryRow& r : rows) {
            if (r.options.empty() &&
                !keyHasOptions.contains(entryKey(r.cells[ColUrl], r.cells[ColKeywords])))
                continue;
            out.push_back({r.cells[ColUrl], r.cells[ColKeywords], r.options});
        }
    }
    out.insert(out.end(), kept.begin(), kept.end());
    return out;
}

QString BesidePath(const QString& dataFilePath, const QString& suffix) {
    const QFileInfo info(dataFilePath);
    QString base = info.fileName();
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    // A leading dot names a hidden file, not an extension.
    if (dot > 0)
        base.truncate(dot);
    const QString name = base + suffix;
    const QString folder = info.path();
    return folder == QStringLiteral(".") && !dataFilePath.startsWith(QStringLiteral("./"))
               ? name
               : QDir(folder).filePath(name);
}

QString DisplayPath(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

bool ReadListFile(const QString& path, QByteArray& bytes, QString* error) {
    bytes.clear();
    // Checked before anything opens it: opening a pipe would wait for a writer forever.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        if (error)
            *error = QStringLiteral("The entry list \"%1\" could not be read.\n\n%2.")
                         .arg(DisplayPath(path), info.isDir()
                                                     ? QStringLiteral("It is a folder")
                                                     : QStringLiteral("It is not a regular file"));
        return false;
    }
    if (!FileExists(path))
        return true;
    QFile file(path);
    bool ok = file.open(QIODevice::ReadOnly);
    if (ok) {
        bytes = file.readAll();
        ok = file.error() == QFileDevice::NoError;
    }
    if (!ok) {
        bytes.clear();
        if (error)
            *error = QStringLiteral("The entry list \"%1\" could not be read.\n\n%2.")
                         .arg(DisplayPath(path), reasonText(file.errorString()));
        return false;
    }
    return true;
}

bool LoadEntries(const QString& path, std::vector<EntryRow>& rows, QString* error) {
    rows.clear();
    QByteArray bytes;
    if (!ReadListFile(path, bytes, error))
        return false;
    rows = ParseEntries(bytes);
    return true;
}

bool LoadEntries(const QString& path, EntryListModel& model, QString* error) {
    std::vector<EntryRow> rows;
    const bool ok = LoadEntries(path, rows, error);
    model.resetEntries(std::move(rows));
    return ok;
}

bool WriteFileSafely(const QString& path, const QByteArray& bytes, const QString& what,
                     QString* error) {
    QSaveFile file(path);
    // A folder that takes no new file (while the file itself may be written) cannot hold the
    // temporary copy: the list is then written over the old file in place, which is still
    // better than losing the session's changes. Only used once the atomic way has failed.
    file.setDirectWriteFallback(true);
    QString reason;
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        // A short write (full disk, size limit) may leave no error behind and still commit a
        // cut-off file; only the count and an explicit flush tell.
        ok = file.write(bytes) == bytes.size() && file.flush();
        if (!ok && file.error() == QFileDevice::NoError)
            reason = QStringLiteral("Only part of the file could be written; the disk may be full");
    }
    // Without a commit the temporary file is discarded and the old file stays as it was.
    if (ok)
        ok = file.commit();
    if (!ok) {
        if (error)
            *error = QStringLiteral("%1 could not be saved to \"%2\".\n\n%3.")
                         .arg(what, DisplayPath(path),
                              reason.isEmpty() ? reasonText(file.errorString()) : reason);
        return false;
    }
    return true;
}

bool WriteListFile(const QString& path, const QByteArray& bytes, QString* error) {
    return WriteFileSafely(path, bytes, QStringLiteral("The entry list"), error);
}

bool SaveEntries(const QString& path, const std::vector<EntryRow>& rows, QString* error) {
    return WriteListFile(path, FormatEntries(rows), error);
}

bool SaveEntries(const QString& path, const EntryListModel& model, QString* error) {
    return SaveEntries(path, model.rows(), error);
}

} // namespace datafile
