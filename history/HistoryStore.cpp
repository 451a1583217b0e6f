#include "history/HistoryStore.h"

#include "data/DataFile.h"
#include "history/HistoryCheck.h"
#include "history/HistoryFormat.h"
#include "history/HistoryText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>
#include <QtEndian>

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <limits>
#include <unordered_map>

namespace tw {

namespace {

// A 64-bit hash of a site's bytes that is the same on every platform and in every version: it
// is stored. Eight bytes at a time, little-endian, then a final mix (MurmurHash3's).
quint64 siteHash(const char* data, std::size_t size) {
    constexpr quint64 kMul = 0x9e3779b97f4a7c15ull;
    quint64 h = 0x243f6a8885a308d3ull ^ (quint64(size) * kMul);
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    std::size_t at = 0;
    for (; at + 8 <= size; at += 8) {
        h = (h ^ qFromLittleEndian<quint64>(p + at)) * kMul;
        h ^= h >> 32;
    }
    if (at < size) {
        quint64 w = 0;
        for (std::size_t i = 0; at + i < size; ++i)
            w |= quint64(p[at + i]) << (8 * i);
        h = (h ^ w) * kMul;
        h ^= h >> 32;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

// Site ids met while the store is open, by text: an open-addressing table over the texts kept
// end to end in one string, since a run asks for millions of sites and a node per text spends
// most of the time on cache misses.
class SiteIdCache {
public:
    // 0 when not known.
    qint64 find(quint64 hash, const std::string& text) const {
        if (m_slots.empty())
            return 0;
        for (std::size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
            const Slot& slot = m_slots[i];
            if (slot.id == 0)
                return 0;
            if (slot.hash == hash && slot.size == text.size() &&
                m_texts.compare(slot.offset, slot.size, text) == 0)
                return slot.id;
        }
    }
    // Asks the memory for what find() is going to read: a result's sites are looked up
    // together, so that their cache misses overlap instead of following one another.
    void prefetchSlot(quint64 hash) const {
        if (!m_slots.empty())
            __builtin_prefetch(&m_slots[hash & m_mask]);
    }
    void prefetchText(quint64 hash) const {
        if (m_slots.empty())
            return;
        const Slot& slot = m_slots[hash & m_mask];
        if (slot.id != 0 && slot.hash == hash)
            __builtin_prefetch(m_texts.data() + slot.offset);
    }
    void add(quint64 hash, const std::string& text, qint64 id) {
        if ((m_count + 1) * 2 > m_slots.size())
            grow();
        const Slot slot{hash, id, m_texts.size(), text.size()};
        m_texts += text;
        place(slot);
        ++m_count;
    }
    void clear() {
        m_slots.clear();
        m_texts.clear();
        m_texts.shrink_to_fit();
        m_count = 0;
        m_mask = 0;
    }

private:
    struct Slot {
        quint64 hash = 0;
        qint64 id = 0; // 0: empty
        std::size_t offset = 0;
        std::size_t size = 0;
    };
    void place(const Slot& slot) {
        std::size_t i = slot.hash & m_mask;
        while (m_slots[i].id != 0)
            i = (i + 1) & m_mask;
        m_slots[i] = slot;
    }
    void grow() {
        std::vector<Slot> old;
        old.swap(m_slots);
        m_slots.resize(old.empty() ? 1024 : old.size() * 2);
        m_mask = m_slots.size() - 1;
        for (const Slot& slot : old) {
            if (slot.id != 0)
                place(slot);
        }
    }
    std::vector<Slot> m_slots;
    std::string m_texts;
    std::size_t m_count = 0;
    std::size_t m_mask = 0;
};

// Version 5 tells an entry's histories apart by where it is ranked: the device and the location
// join URL and keywords in the entry's key. What was recorded before is a desktop entry without
// a location. SQLite changes no UNIQUE constraint in place, so the table is made anew, ids kept.
const char* const kEntryWhereStep[] = {
    "CREATE TABLE entry_where (id INTEGER PRIMARY KEY, url BLOB NOT NULL, keywords BLOB NOT NULL, "
    "device TEXT NOT NULL DEFAULT 'desktop', location BLOB NOT NULL DEFAULT x'', "
    "UNIQUE (url, keywords, device, location))",
    "INSERT INTO entry_where (id, url, keywords) SELECT id, url, keywords FROM entry",
    "DROP TABLE entry",
    "ALTER TABLE entry_where RENAME TO entry",
};

// The columns keptTexts() reads, in its order, after a query's others.
const char* const kKeptColumns =
    ", r.sites, r.results, r.results_partial, r.page_sizes, r.ranking_site, r.sites_in_results";

const QByteArray kSqliteMagic("SQLite format 3\0", 16);

std::atomic<int> g_connectionCounter{0};

std::string stdString(const QVariant& value) {
    const QByteArray data = value.toByteArray();
    return std::string(data.constData(), std::size_t(data.size()));
}

std::optional<int> optionalInt(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    return value.toInt();
}

QDateTime runTime(const QVariant& ms, const QVariant& offset) {
    return QDateTime::fromMSecsSinceEpoch(ms.toLongLong(), Qt::OffsetFromUTC, offset.toInt());
}

// The user's words for what SQLite said (its primary result codes).
QString reasonFor(const QSqlError& error) {
    const int code = error.nativeErrorCode().toInt();
    switch (code) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return QStringLiteral("it is in use by another program (locked)");
    case 8: // SQLITE_READONLY
        return QStringLiteral("it cannot be written (read-only)");
    case 10: // SQLITE_IOERR
        return QStringLiteral("it could not be read or written (%1)").arg(error.databaseText());
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return QStringLiteral("it is damaged");
    case 13: // SQLITE_FULL
        return QStringLiteral("the disk is full");
    case 14: // SQLITE_CANTOPEN
        return QStringLiteral("it cannot be opened");
    default:
        break;
    }
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.isEmpty() ? QStringLiteral("unknown error") : text;
}

// The same for a call made on the connection's own handle.
QString reasonFor(sqlite3* handle, int code) {
    return reasonFor(QSqlError(QString(), QString::fromUtf8(sqlite3_errmsg(handle)),
                               QSqlError::StatementError, QString::number(code & 0xff)));
}

// Site ids as a result keeps them: each an unsigned LEB128 number, in order.
void appendVarint(QByteArray& out, quint64 value) {
    while (value >= 0x80) {
        out += char(value | 0x80);
        value >>= 7;
    }
    out += char(value);
}

bool readVarints(const QByteArray& packed, std::vector<qint64>* ids) {
    ids->clear();
    quint64 value = 0;
    int shift = 0;
    for (const char c : packed) {
        const auto byte = quint8(c);
        if (shift > 56)
            return false;
        value |= quint64(byte & 0x7f) << shift;
        if (byte & 0x80) {
            shift += 7;
            continue;
        }
        ids->push_back(qint64(value));
        value = 0;
        shift = 0;
    }
    return shift == 0;
}

// A kept result list's site ids, each as the zigzag-coded difference from the one before: the
// sites of one scan were mostly added together, and a list that repeats the run before repeats
// their order, so most differences take one byte where an id takes three.
void appendIdDeltas(QByteArray& out, const std::vector<qint64>& ids) {
    qint64 previous = 0;
    for (const qint64 id : ids) {
        const qint64 delta = id - previous;
        appendVarint(out, (quint64(delta) << 1) ^ quint64(delta >> 63));
        previous = id;
    }
}

// False when the list is damaged: an id that is not a site's (below 1).
bool readIdDeltas(const QByteArray& packed, std::vector<qint64>* ids) {
    if (!readVarints(packed, ids))
        return false;
    qint64 previous = 0;
    for (qint64& value : *ids) {
        const quint64 zigzag = quint64(value);
        const qint64 delta = qint64(zigzag >> 1) ^ -qint64(zigzag & 1);
        value = qint64(quint64(previous) + quint64(delta));
        if (value < 1)
            return false;
        previous = value;
    }
    return true;
}

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

} // namespace

// A run writes hundreds of thousands of rows and ids: those statements go to the connection's
// own handle, prepared once, without the conversions of a QSqlQuery per row.
struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { reset(); }
    void reset() {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    }
    // Prepares sql on first use. False: the reason is the handle's.
    bool prepare(sqlite3* handle, const char* sql) {
        return stmt || sqlite3_prepare_v3(handle, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt,
                                          nullptr) == SQLITE_OK;
    }
};

struct HistoryStore::Impl {
    sqlite3* handle = nullptr;
    Statement insertResult;
    Statement insertEntry;
    Statement selectEntry;
    Statement selectSite;
    Statement insertSite;
    Statement siteText;
    std::optional<QSqlQuery> selectPrevious;
    std::optional<QSqlQuery> selectPreviousKept;
    // Entry and site ids by key; ids made in a run that is rolled back are forgotten with it.
    std::unordered_map<std::string, qint64> entryIds;
    SiteIdCache siteIds;
    std::atomic<qint64> runId{0};
    std::string lastUrl;
    std::string lastKeywords;
    EntryWhere lastWhere;
    qint64 lastId = 0;

    void remember(const std::string& url, const std::string& keywords, const EntryWhere& where,
                  qint64 id) {
        lastUrl = url;
        lastKeywords = keywords;
        lastWhere = where;
        lastId = id;
    }
    void forget() {
        entryIds.clear();
        siteIds.clear();
        lastId = 0;
    }
    void finalize() {
        for (Statement* s :
             {&insertResult, &insertEntry, &selectEntry, &selectSite, &insertSite, &siteText})
            s->reset();
        selectPrevious.reset();
        selectPreviousKept.reset();
        handle = nullptr;
    }

    static std::string key(const std::string& url, const std::string& keywords,
                           const EntryWhere& where) {
        std::string k = std::to_string(url.size());
        k += ':';
        k += url;
        k += std::to_string(keywords.size());
        k += ':';
        k += keywords;
        k += std::to_string(where.device.size());
        k += ':';
        k += where.device;
        k += where.location;
        return k;
    }
};

QString historyPathFor(const QString& dataFilePath) {
    return datafile::BesidePath(dataFilePath, QStringLiteral(".history.sqlite"));
}

QByteArray packSites(const std::vector<std::string>& sites) {
    if (sites.empty())
        return {};
    std::string raw;
    const std::size_t count = std::min<std::size_t>(sites.size(), kHistoryMaxSites);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& site = sites[i];
        const quint32 size = quint32(std::min<std::size_t>(site.size(), 0x7fffffff));
        const char prefix[4] = {char(size >> 24), char(size >> 16), char(size >> 8), char(size)};
        raw.append(prefix, 4);
        raw.append(site.data(), size);
    }
    return qCompress(reinterpret_cast<const uchar*>(raw.data()), qsizetype(raw.size()));
}

bool unpackSites(const QByteArray& packed, std::vector<std::string>* sites) {
    sites->clear();
    if (packed.isEmpty())
        return true;
    const QByteArray raw = qUncompress(packed);
    if (raw.isEmpty())
        return false;
    qsizetype at = 0;
    while (at < raw.size()) {
        if (raw.size() - at < 4)
            return false;
        const auto* p = reinterpret_cast<const unsigned char*>(raw.constData() + at);
        const quint32 size =
            (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
        at += 4;
        if (size > quint32(raw.size() - at))
            return false;
        sites->emplace_back(raw.constData() + at, std::size_t(size));
        at += qsizetype(size);
    }
    return true;
}

HistoryStore::HistoryStore() : m_impl(std::make_unique<Impl>()) {}

HistoryStore::~HistoryStore() {
    close();
}

bool HistoryStore::isOpen() const {
    return !m_connection.isEmpty();
}

QString HistoryStore::fail(const QString& what, const QString& reason) const {
    return QStringLiteral("The rank history %1 %2: %3.")
        .arg(QDir::toNativeSeparators(m_path), what, reason);
}

bool HistoryStore::readFailed(const QSqlQuery& q, QString* error) const {
    setError(error, fail(QStringLiteral("cannot be read"), reasonFor(q.lastError())));
    return false;
}

void HistoryStore::close() {
    if (m_connection.isEmpty())
        return;
    rollbackRun();
    m_impl->finalize();
    m_impl->forget();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
    m_schemaVersion = 0;
    m_ownerThread = nullptr;
    // After the connection is gone: the last one folds its log into the file.
    if (m_rememberAtClose)
        historycheck::rememberSound(m_path);
    m_rememberAtClose = false;
}

bool HistoryStore::open(const QString& path, Mode mode, QString* error) {
    close();
    m_path = path;
    m_fileVersion = 0;
    if (openChecked(path, mode, error))
        return true;
    close();
    return false;
}

bool HistoryStore::openForReading(const QString& path, QString* error) {
    if (open(path, Mode::ReadOnly, error))
        return true;
    // An older format is brought up to date first; anything else is reported.
    const int version = fileSchemaVersion();
    if (version < 1 || version >= kHistorySchemaVersion)
        return false;
    return open(path, Mode::ReadWrite, error);
}

bool HistoryStore::openChecked(const QString& path, Mode mode, QString* error) {
    const bool readOnly = mode == Mode::ReadOnly;
    // A link in the history's place (or its log's) would have the run write another list's
    // history, or make a new one wherever it points.
    if (const QString linked = historycheck::linkedFile(path); !linked.isEmpty()) {
        setError(error, fail(QStringLiteral("was left as it is"),
                             linked == path ? QStringLiteral("it is a symbolic link")
                                            : QStringLiteral("%1 is a symbolic link")
                                                  .arg(QDir::toNativeSeparators(linked))));
        return false;
    }
    // What is at the path is looked at before SQLite is let near it: SQLite would take an empty
    // or missing file as a new database, and anything else must stay as it is.
    const QFileInfo info(path);
    if (info.exists()) {
        if (!info.isFile()) {
            setError(error, fail(QStringLiteral("cannot be used"),
                                 QStringLiteral("it is not a regular file")));
            return false;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            setError(error, fail(QStringLiteral("cannot be read"), file.errorString()));
            return false;
        }
        const QByteArray head = file.read(100);
        if (file.size() > 0 && (head.size() < 100 || !head.startsWith(kSqliteMagic))) {
            setError(error, fail(QStringLiteral("was left as it is"),
                                 QStringLiteral("it is not a history database, or it is damaged")));
            return false;
        }
        if (file.size() == 0 && readOnly) {
            setError(error, fail(QStringLiteral("cannot be read"),
                                 QStringLiteral("it holds no history yet")));
            return false;
        }
    } else if (readOnly) {
        setError(error,
                 fail(QStringLiteral("cannot be read"), QStringLiteral("there is none yet")));
        return false;
    } else if (!QFileInfo(info.absolutePath()).isDir()) {
        setError(error, fail(QStringLiteral("cannot be made"),
                             QStringLiteral("its folder does not exist")));
        return false;
    }

    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        setError(error, fail(QStringLiteral("cannot be opened"),
                             QStringLiteral("Qt's SQLite driver is not installed "
                                            "(Debian package libqt6sql6-sqlite)")));
        return false;
    }
    m_connection = QStringLiteral("tw.history.%1")
                       .arg(g_connectionCounter.fetch_add(1, std::memory_order_relaxed));
    m_ownerThread = QThread::currentThreadId();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(path);
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs);
        if (readOnly)
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options);
        if (!db.open()) {
            setError(error, fail(QStringLiteral("cannot be opened"), reasonFor(db.lastError())));
            return false;
        }
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    {
        const QVariant handle = db.driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
            m_impl->handle = *static_cast<sqlite3* const*>(handle.constData());
        if (!m_impl->handle) {
            setError(error, fail(QStringLiteral("cannot be opened"),
                                 QStringLiteral("Qt's SQLite driver gives no connection handle")));
            return false;
        }
    }

    // Read-only checks first: a damaged or foreign file must not be written to at all. The
    // full check reads the whole file, so only a store that is going to write pays for it, and
    // only when the file changed since a check passed; a damaged page met while reading shows
    // as an error of that call. The quick check would miss an index that disagrees with its
    // table, and a run would then record an entry a second time.
    if (!readOnly && info.exists() && !historycheck::rememberedSound(path)) {
        QSqlQuery check(db);
        // The check looks every row up in each of its table's indexes: the run's page cache
        // keeps those pages at hand for it too.
        if (!check.exec(QStringLiteral("PRAGMA cache_size = -65536")) ||
            !check.exec(QStringLiteral("PRAGMA integrity_check(1)"))) {
            setError(error, fail(QStringLiteral("cannot be used"), reasonFor(check.lastError())));
            return false;
        }
        if (!check.next() || check.value(0).toString() != QStringLiteral("ok")) {
            setError(
                error,
                fail(
                    QStringLiteral("was left as it is"),
                    QStringLiteral("it is damaged (%1)").arg(check.value(0).toString().left(200))));
            return false;
        }
    }
    historyformat::Recognition format;
    if (!historyformat::recognize(m_impl->handle, &format, nullptr)) {
        setError(error, fail(QStringLiteral("cannot be used"),
                             reasonFor(m_impl->handle, sqlite3_errcode(m_impl->handle))));
        return false;
    }
    const int version = format.version;
    m_fileVersion = version;
    if (format.kind == historyformat::Kind::Newer) {
        setError(error,
                 fail(QStringLiteral("was left as it is"),
                      QStringLiteral("it was written by a newer version of the program (format "
                                     "%1; this version knows up to %2)")
                          .arg(version)
                          .arg(kHistorySchemaVersion)));
        return false;
    }
    if (format.kind == historyformat::Kind::Foreign) {
        setError(error, fail(QStringLiteral("was left as it is"),
                             QStringLiteral("it is an SQLite database, but not a Tallowick "
                                            "history")));
        return false;
    }
    if (readOnly && version < kHistorySchemaVersion) {
        setError(error,
                 fail(QStringLiteral("cannot be read"),
                      version == 0 ? QStringLiteral("it holds no history yet")
                                   : QStringLiteral("it is in an older format; it is "
                                                    "brought up to date when next written")));
        return false;
    }

    if (!readOnly) {
        // The check can have taken a while: a link planted meanwhile is still refused.
        if (!historycheck::linkedFile(path).isEmpty()) {
            setError(error, fail(QStringLiteral("was left as it is"),
                                 QStringLiteral("it is a symbolic link")));
            return false;
        }
        QSqlQuery q(db);
        // WAL: readers (the History window) never wait for a run that is recording, and a run
        // that dies leaves only an uncommitted tail that the next open ignores.
        // A run touches every entry's index page; a page cache of 64 MB keeps them at hand.
        if (!q.exec(QStringLiteral("PRAGMA journal_mode = WAL")) ||
            !q.exec(QStringLiteral("PRAGMA synchronous = NORMAL")) ||
            !q.exec(QStringLiteral("PRAGMA cache_size = -65536"))) {
            setError(error, fail(QStringLiteral("cannot be used"), reasonFor(q.lastError())));
            return false;
        }
        m_schemaVersion = version;
        if (!migrate(format.marked, error))
            return false;
        // Sound as checked, and written only by this store from now on: remembered at close.
        m_rememberAtClose = true;
    }
    m_schemaVersion = kHistorySchemaVersion;
    return true;
}

bool HistoryStore::migrate(bool marked, QString* error) {
    if (marked && m_schemaVersion == kHistorySchemaVersion)
        return true;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        setError(error, fail(QStringLiteral("cannot be written"), reasonFor(q.lastError())));
        return false;
    }
    auto failed = [&](const QSqlQuery& query) {
        const QString reason = reasonFor(query.lastError());
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        m_impl->forget();
        setError(error, fail(QStringLiteral("cannot be brought up to date"), reason));
        return false;
    };
    // Looked at again under the lock: another program may have done the work, or changed the
    // file, while this one waited for it.
    historyformat::Recognition format;
    QString reason;
    if (!historyformat::recognize(m_impl->handle, &format, &reason)) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        setError(error, fail(QStringLiteral("cannot be brought up to date"), reason));
        return false;
    }
    using historyformat::Kind;
    if (format.kind != Kind::Empty && format.kind != Kind::Ours && format.kind != Kind::Unmarked) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        setError(error, fail(QStringLiteral("was left as it is"),
                             QStringLiteral("it was changed by another program while it was "
                                            "opened")));
        return false;
    }
    int version = format.version;
    if (format.kind == Kind::Ours && version == kHistorySchemaVersion) {
        QSqlQuery(db).exec(QStringLiteral("COMMIT"));
        m_schemaVersion = version;
        return true;
    }
    if (format.kind == Kind::Empty) {
        for (const char* statement : historyformat::currentSchema()) {
            if (!q.exec(QString::fromLatin1(statement)))
                return failed(q);
        }
        // The later steps make a fresh file the same shape as a migrated one.
        version = 3;
    }
    // Each step takes a file of one version to the next; a new step goes at the end.
    if (version == 1) {
        if (!q.exec(QStringLiteral(
                "ALTER TABLE result ADD COLUMN source TEXT NOT NULL DEFAULT 'classic'")))
            return failed(q);
        // Plain lists of sites, one per line, become packed lists.
        QSqlQuery read(db);
        read.setForwardOnly(true);
        if (!read.exec(QStringLiteral("SELECT id, sites FROM result WHERE sites IS NOT NULL")))
            return failed(read);
        QSqlQuery write(db);
        if (!write.prepare(QStringLiteral("UPDATE result SET sites = ? WHERE id = ?")))
            return failed(write);
        std::vector<std::pair<qint64, QByteArray>> packed;
        while (read.next()) {
            const QByteArray plain = read.value(1).toByteArray();
            std::vector<std::string> sites;
            for (const QByteArray& line : plain.split('\n')) {
                if (!line.isEmpty())
                    sites.emplace_back(line.constData(), std::size_t(line.size()));
            }
            packed.emplace_back(read.value(0).toLongLong(), packSites(sites));
        }
        read.finish();
        for (const auto& [id, sites] : packed) {
            write.addBindValue(sites.isEmpty() ? QVariant(QMetaType(QMetaType::QByteArray))
                                               : QVariant(sites));
            write.addBindValue(id);
            if (!write.exec())
                return failed(write);
        }
        version = 2;
    }
    if (version == 2) {
        // Each result's packed texts become ids of the site table.
        if (!q.exec(QString::fromLatin1(historyformat::kSiteTable)) ||
            !q.exec(QString::fromLatin1(historyformat::kSiteIndex)))
            return failed(q);
        QSqlQuery read(db);
        read.setForwardOnly(true);
        if (!read.exec(QStringLiteral("SELECT id, sites FROM result WHERE sites IS NOT NULL")))
            return failed(read);
        std::vector<std::pair<qint64, QByteArray>> packed;
        while (read.next())
            packed.emplace_back(read.value(0).toLongLong(), read.value(1).toByteArray());
        read.finish();
        QSqlQuery write(db);
        if (!write.prepare(QStringLiteral("UPDATE result SET sites = ? WHERE id = ?")))
            return failed(write);
        for (auto& [id, blob] : packed) {
            std::vector<std::string> sites;
            // A list that cannot be read is dropped rather than keeping the file old.
            if (!unpackSites(blob, &sites))
                sites.clear();
            QByteArray ids;
            QString reason;
            if (!siteIdList(sites, &ids, &reason)) {
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
                m_impl->forget();
                setError(error, fail(QStringLiteral("cannot be brought up to date"), reason));
                return false;
            }
            write.addBindValue(ids.isEmpty() ? QVariant(QMetaType(QMetaType::QByteArray))
                                             : QVariant(ids));
            write.addBindValue(id);
            if (!write.exec())
                return failed(write);
            blob.clear();
        }
        version = 3;
    }
    if (version == 3) {
        // Version 4 keeps the calls a result service billed for each result.
        if (!q.exec(QStringLiteral("ALTER TABLE result ADD COLUMN calls INTEGER NOT NULL "
                                   "DEFAULT 0")))
            return failed(q);
        version = 4;
    }
    if (version == 4) {
        for (const char* statement : kEntryWhereStep) {
            if (!q.exec(QString::fromLatin1(statement)))
                return failed(q);
        }
        version = 5;
    }
    if (version == 5) {
        // Version 6 keeps every result a scan counted (site ids, each as the difference from
        // the one before), the results per page read, whether the list ends at a failing page,
        // the result that matched the target, and how many of the results are the sites above
        // (0: the sites column holds them, as before).
        for (const char* statement :
             {"ALTER TABLE result ADD COLUMN results BLOB",
              "ALTER TABLE result ADD COLUMN results_partial INTEGER NOT NULL DEFAULT 0",
              "ALTER TABLE result ADD COLUMN page_sizes BLOB",
              "ALTER TABLE result ADD COLUMN ranking_site INTEGER",
              "ALTER TABLE result ADD COLUMN sites_in_results INTEGER NOT NULL DEFAULT 0"}) {
            if (!q.exec(QString::fromLatin1(statement)))
                return failed(q);
        }
        version = 6;
    }
    // Marked as this program's file in the same transaction as its tables.
    if (!q.exec(QStringLiteral("PRAGMA user_version = %1").arg(version)) ||
        !q.exec(QStringLiteral("PRAGMA application_id = %1").arg(historyformat::kApplicationId)) ||
        !q.exec(QStringLiteral("COMMIT")))
        return failed(q);
    m_schemaVersion = version;
    return true;
}

bool HistoryStore::checkIntegrity(QString* error) {
    if (!isOpen()) {
        setError(error, QStringLiteral("The rank history is not open."));
        return false;
    }
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("PRAGMA integrity_check"))) {
        setError(error, fail(QStringLiteral("cannot be checked"), reasonFor(q.lastError())));
        return false;
    }
    if (!q.next() || q.value(0).toString() != QStringLiteral("ok")) {
        setError(error, fail(QStringLiteral("is damaged"), q.value(0).toString().left(200)));
        return false;
    }
    return true;
}

bool HistoryStore::beginRun(const QDateTime& started, QString* error) {
    if (!isOpen()) {
        setError(error, QStringLiteral("The rank history is not open."));
        return false;
    }
    if (m_impl->runId.load() != 0) {
        setError(error, fail(QStringLiteral("cannot start a run"),
                             QStringLiteral("a run is already being recorded")));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    // The write lock for the whole run: another program on the same history finds out now,
    // within the busy time-out, not half way through.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        setError(error, fail(QStringLiteral("cannot be written"), reasonFor(q.lastError())));
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_pendingLock);
        m_runError.clear();
    }
    const QDateTime start = started.isValid() ? started : QDateTime::currentDateTime();
    q.prepare(QStringLiteral("INSERT INTO run (started_ms, utc_offset) VALUES (?, ?)"));
    q.addBindValue(start.toMSecsSinceEpoch());
    q.addBindValue(start.offsetFromUtc());
    if (!q.exec()) {
        const QString reason = reasonFor(q.lastError());
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        setError(error, fail(QStringLiteral("cannot be written"), reason));
        return false;
    }
    m_impl->runId = q.lastInsertId().toLongLong();
    return true;
}

bool HistoryStore::runInProgress() const {
    return m_impl->runId.load() != 0;
}

qint64 HistoryStore::currentRunId() const {
    return m_impl->runId.load();
}

QString HistoryStore::noRunError(const QString& what) {
    std::lock_guard<std::mutex> lock(m_pendingLock);
    return m_runError.isEmpty() ? fail(what, QStringLiteral("no run is being recorded"))
                                : m_runError;
}

void HistoryStore::abandonRun(const QString& reason) {
    // A write that failed may have met damage: the next writer checks the whole file again.
    m_rememberAtClose = false;
    {
        std::lock_guard<std::mutex> lock(m_pendingLock);
        m_pending.clear();
        m_runError = reason;
    }
    if (m_impl->runId.load() == 0)
        return;
    // Some failures end the transaction inside SQLite already; a second ROLLBACK is harmless.
    QSqlQuery(QSqlDatabase::database(m_connection, false)).exec(QStringLiteral("ROLLBACK"));
    m_impl->runId = 0;
    m_impl->forget();
}

bool HistoryStore::recordable(const HistoryResult& result, QString* error) {
    if (m_impl->runId.load() == 0) {
        setError(error, noRunError(QStringLiteral("cannot record a result")));
        return false;
    }
    if (result.slot < 0 || result.slot >= kHistorySlots) {
        setError(error, fail(QStringLiteral("cannot record a result"),
                             QStringLiteral("slot %1 does not exist").arg(result.slot)));
        return false;
    }
    return true;
}

bool HistoryStore::record(const std::string& url, const std::string& keywords,
                          HistoryResult&& result, QString* error) {
    if (!recordable(result, error))
        return false;
    if (QThread::currentThreadId() != m_ownerThread) {
        if (result.sitesAbove.size() > std::size_t(kHistoryMaxSites))
            result.sitesAbove.resize(kHistoryMaxSites);
        std::lock_guard<std::mutex> lock(m_pendingLock);
        m_pending.push_back({url, keywords, std::move(result)});
        return true;
    }
    return flush(error) && writeOne(url, keywords, result, error);
}

bool HistoryStore::record(const std::string& url, const std::string& keywords,
                          const HistoryResult& result, QString* error) {
    if (QThread::currentThreadId() != m_ownerThread) {
        HistoryResult copy = result;
        return record(url, keywords, std::move(copy), error);
    }
    // Written at once: no copy.
    return recordable(result, error) && flush(error) && writeOne(url, keywords, result, error);
}

bool HistoryStore::flush(QString* error) {
    std::vector<Pending> pending;
    {
        std::lock_guard<std::mutex> lock(m_pendingLock);
        if (m_pending.empty())
            return true;
        pending.swap(m_pending);
    }
    if (pending.empty())
        return true;
    if (QThread::currentThreadId() != m_ownerThread) {
        std::lock_guard<std::mutex> lock(m_pendingLock);
        m_pending.insert(m_pending.begin(), std::make_move_iterator(pending.begin()),
                         std::make_move_iterator(pending.end()));
        setError(error, fail(QStringLiteral("cannot be written from this thread"),
                             QStringLiteral("only the thread that opened it writes")));
        return false;
    }
    return writePending(pending, error);
}

bool HistoryStore::findEntry(const std::string& url, const std::string& keywords,
                             const EntryWhere& where, qint64* id, QString* error) {
    if (!isOpen()) {
        setError(error, QStringLiteral("The rank history is not open."));
        return false;
    }
    return entryId(url, keywords, where, false, id, error);
}

bool HistoryStore::entryId(const std::string& url, const std::string& keywords,
                           const EntryWhere& where, bool create, qint64* id, QString* error) {
    // A run records the slots of one entry one after the other.
    if (m_impl->lastId != 0 && url == m_impl->lastUrl && keywords == m_impl->lastKeywords &&
        where == m_impl->lastWhere) {
        *id = m_impl->lastId;
        return true;
    }
    const std::string key = Impl::key(url, keywords, where);
    if (const auto it = m_impl->entryIds.find(key); it != m_impl->entryIds.end()) {
        *id = it->second;
        m_impl->remember(url, keywords, where, *id);
        return true;
    }
    sqlite3* h = m_impl->handle;
    Statement& select = m_impl->selectEntry;
    if (!select.prepare(h, "SELECT id FROM entry WHERE url = ? AND keywords = ? AND device = ? "
                           "AND location = ?")) {
        setError(error, fail(QStringLiteral("cannot be read"), reasonFor(h, sqlite3_errcode(h))));
        return false;
    }
    sqlite3_bind_blob(select.stmt, 1, url.data(), int(url.size()), SQLITE_STATIC);
    sqlite3_bind_blob(select.stmt, 2, keywords.data(), int(keywords.size()), SQLITE_STATIC);
    sqlite3_bind_text(select.stmt, 3, where.device.data(), int(where.device.size()), SQLITE_STATIC);
    sqlite3_bind_blob(select.stmt, 4, where.location.data(), int(where.location.size()),
                      SQLITE_STATIC);
    int rc = sqlite3_step(select.stmt);
    const qint64 found = rc == SQLITE_ROW ? sqlite3_column_int64(select.stmt, 0) : 0;
    sqlite3_reset(select.stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        setError(error, fail(QStringLiteral("cannot be read"), reasonFor(h, rc)));
        return false;
    }
    if (found != 0 || !create) {
        *id = found;
        if (found != 0) {
            m_impl->entryIds.emplace(key, found);
            m_impl->remember(url, keywords, where, found);
        }
        return true;
    }
    Statement& insert = m_impl->insertEntry;
    if (!insert.prepare(h, "INSERT INTO entry (url, keywords, device, location) "
                           "VALUES (?, ?, ?, ?)")) {
        setError(error,
                 fail(QStringLiteral("cannot be written"), reasonFor(h, sqlite3_errcode(h))));
        return false;
    }
    sqlite3_bind_blob(insert.stmt, 1, url.data(), int(url.size()), SQLITE_STATIC);
    sqlite3_bind_blob(insert.stmt, 2, keywords.data(), int(keywords.size()), SQLITE_STATIC);
    sqlite3_bind_text(insert.stmt, 3, where.device.data(), int(where.device.size()), SQLITE_STATIC);
    sqlite3_bind_blob(insert.stmt, 4, where.location.data(), int(where.location.size()),
                      SQLITE_STATIC);
    rc = sqlite3_step(insert.stmt);
    sqlite3_reset(insert.stmt);
    if (rc != SQLITE_DONE) {
        setError(error, fail(QStringLiteral("cannot be written"), reasonFor(h, rc)));
        return false;
    }
    *id = sqlite3_last_insert_rowid(h);
    m_impl->entryIds.emplace(key, *id);
    m_impl->remember(url, keywords, where, *id);
    return true;
}

bool HistoryStore::siteIdList(const std::vector<std::string>& sites, QByteArray* ids,
                              QString* error, std::vector<qint64>* numbers) {
    ids->clear();
    if (numbers)
        numbers->clear();
    sqlite3* h = m_impl->handle;
    const std::size_t count = std::min<std::size_t>(sites.size(), kHistoryMaxSites);
    quint64 hashes[kHistoryMaxSites];
    for (std::size_t i = 0; i < count; ++i) {
        hashes[i] = siteHash(sites[i].data(), sites[i].size());
        m_impl->siteIds.prefetchSlot(hashes[i]);
    }
    for (std::size_t i = 0; i < count; ++i)
        m_impl->siteIds.prefetchText(hashes[i]);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& site = sites[i];
        const quint64 hash = hashes[i];
        qint64 id = m_impl->siteIds.find(hash, site);
        if (id == 0) {
            // Known from an earlier run, or new.
            Statement& select = m_impl->selectSite;
            Statement& insert = m_impl->insertSite;
            if (!select.prepare(h, "SELECT id, text FROM site WHERE hash = ?") ||
                !insert.prepare(h, "INSERT INTO site (hash, text) VALUES (?, ?)")) {
                setError(error, fail(QStringLiteral("cannot be written"),
                                     reasonFor(h, sqlite3_errcode(h))));
                return false;
            }
            sqlite3_bind_int64(select.stmt, 1, qint64(hash));
            int rc = SQLITE_DONE;
            while ((rc = sqlite3_step(select.stmt)) == SQLITE_ROW) {
                const int size = sqlite3_column_bytes(select.stmt, 1);
                const void* text = sqlite3_column_blob(select.stmt, 1);
                if (std::size_t(size) == site.size() &&
                    (size == 0 || std::memcmp(text, site.data(), site.size()) == 0)) {
                    id = sqlite3_column_int64(select.stmt, 0);
                    break;
                }
            }
            sqlite3_reset(select.stmt);
            if (id == 0 && rc == SQLITE_DONE) {
                sqlite3_bind_int64(insert.stmt, 1, qint64(hash));
                sqlite3_bind_blob(insert.stmt, 2, site.data(), int(site.size()), SQLITE_STATIC);
                rc = sqlite3_step(insert.stmt);
                sqlite3_reset(insert.stmt);
                id = sqlite3_last_insert_rowid(h);
            }
            if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
                setError(error, fail(QStringLiteral("cannot be written"), reasonFor(h, rc)));
                return false;
            }
            m_impl->siteIds.add(hash, site, id);
        }
        if (numbers)
            numbers->push_back(id);
        else
            appendVarint(*ids, quint64(id));
    }
    return true;
}

bool HistoryStore::writePending(std::vector<Pending>& pending, QString* error) {
    for (const Pending& p : pending) {
        if (!writeOne(p.url, p.keywords, p.result, error))
            return false;
    }
    return true;
}

bool HistoryStore::writeOne(const std::string& url, const std::string& keywords,
                            const HistoryResult& r, QString* error) {
    const qint64 runId = m_impl->runId.load();
    if (runId == 0) {
        setError(error, noRunError(QStringLiteral("cannot record a result")));
        return false;
    }
    qint64 entry = 0;
    QString reason;
    QByteArray sites;
    QByteArray results;
    QByteArray rankingSite;
    QByteArray pageSizes;
    for (const int size : r.pageSizes)
        appendVarint(pageSizes, quint64(std::max(0, size)));
    std::vector<qint64> resultIds;
    const std::size_t keptCount = std::min<std::size_t>(r.results.size(), kHistoryMaxSites);
    // The sites above are the results before the target: kept once, as the results' start.
    const std::size_t aboveCount = r.sitesAbove.size();
    const bool aboveInResults =
        aboveCount > 0 && aboveCount <= keptCount &&
        std::equal(r.sitesAbove.begin(), r.sitesAbove.end(), r.results.begin());
    // The ranking URL is mostly the result at the target's rank.
    std::optional<qint64> rankingId;
    if (!entryId(url, keywords, r.where, true, &entry, &reason) ||
        (!aboveInResults && !siteIdList(r.sitesAbove, &sites, &reason)) ||
        !siteIdList(r.results, &results, &reason, &resultIds)) {
        abandonRun(reason);
        setError(error, reason);
        return false;
    }
    appendIdDeltas(results, resultIds);
    if (!r.rankingUrl.empty()) {
        if (r.rank && *r.rank >= 1 && std::size_t(*r.rank) <= keptCount &&
            r.results[std::size_t(*r.rank - 1)] == r.rankingUrl) {
            rankingId = resultIds[std::size_t(*r.rank - 1)];
        } else {
            std::vector<qint64> one;
            if (!siteIdList({r.rankingUrl}, &rankingSite, &reason, &one)) {
                abandonRun(reason);
                setError(error, reason);
                return false;
            }
            if (!one.empty())
                rankingId = one.front();
        }
    }
    sqlite3* h = m_impl->handle;
    Statement& insert = m_impl->insertResult;
    if (!insert.prepare(h, "INSERT INTO result (run_id, entry_id, slot, engine, source, text, "
                           "rank, page, error, sites, calls, results, results_partial, "
                           "page_sizes, ranking_site, sites_in_results) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")) {
        reason = fail(QStringLiteral("cannot be written"), reasonFor(h, sqlite3_errcode(h)));
        abandonRun(reason);
        setError(error, reason);
        return false;
    }
    static const std::string kClassic = "classic";
    const std::string& source = r.source.empty() ? kClassic : r.source;
    sqlite3_stmt* st = insert.stmt;
    sqlite3_bind_int64(st, 1, runId);
    sqlite3_bind_int64(st, 2, entry);
    sqlite3_bind_int(st, 3, r.slot);
    sqlite3_bind_text(st, 4, r.engine.data(), int(r.engine.size()), SQLITE_STATIC);
    sqlite3_bind_text(st, 5, source.data(), int(source.size()), SQLITE_STATIC);
    sqlite3_bind_blob(st, 6, r.text.data(), int(r.text.size()), SQLITE_STATIC);
    if (r.rank)
        sqlite3_bind_int(st, 7, *r.rank);
    else
        sqlite3_bind_null(st, 7);
    if (r.page)
        sqlite3_bind_int(st, 8, *r.page);
    else
        sqlite3_bind_null(st, 8);
    if (r.error.empty())
        sqlite3_bind_null(st, 9);
    else
        sqlite3_bind_blob(st, 9, r.error.data(), int(r.error.size()), SQLITE_STATIC);
    if (sites.isEmpty())
        sqlite3_bind_null(st, 10);
    else
        sqlite3_bind_blob(st, 10, sites.constData(), int(sites.size()), SQLITE_STATIC);
    sqlite3_bind_int(st, 11, std::max(0, r.calls));
    if (results.isEmpty())
        sqlite3_bind_null(st, 12);
    else
        sqlite3_bind_blob(st, 12, results.constData(), int(results.size()), SQLITE_STATIC);
    sqlite3_bind_int(st, 13, r.resultsPartial ? 1 : 0);
    if (pageSizes.isEmpty())
        sqlite3_bind_null(st, 14);
    else
        sqlite3_bind_blob(st, 14, pageSizes.constData(), int(pageSizes.size()), SQLITE_STATIC);
    if (rankingId)
        sqlite3_bind_int64(st, 15, *rankingId);
    else
        sqlite3_bind_null(st, 15);
    sqlite3_bind_int64(st, 16, aboveInResults ? qint64(aboveCount) : 0);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) {
        reason = fail(QStringLiteral("cannot be written"), reasonFor(h, rc));
        abandonRun(reason);
        setError(error, reason);
        return false;
    }
    return true;
}

bool HistoryStore::commitRun(QString* error) {
    if (m_impl->runId.load() == 0) {
        setError(error, noRunError(QStringLiteral("cannot finish a run")));
        return false;
    }
    if (!flush(error))
        return false;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("COMMIT"))) {
        const QString reason = fail(QStringLiteral("cannot be written"), reasonFor(q.lastError()));
        abandonRun(reason);
        setError(error, reason);
        return false;
    }
    m_impl->runId = 0;
    return true;
}

void HistoryStore::rollbackRun() {
    {
        std::lock_guard<std::mutex> lock(m_pendingLock);
        m_pending.clear();
    }
    if (m_impl->runId.load() == 0 || m_connection.isEmpty())
        return;
    QSqlQuery(QSqlDatabase::database(m_connection, false)).exec(QStringLiteral("ROLLBACK"));
    m_impl->runId = 0;
    // Entries first seen in the run are gone with it.
    m_impl->forget();
}

bool HistoryStore::loadEntry(const std::string& url, const std::string& keywords,
                             const EntryWhere& where, EntryHistory* out, QString* error,
                             bool withSites) {
    out->url = url;
    out->keywords = keywords;
    out->where = where;
    out->runs.clear();
    qint64 entry = 0;
    if (!findEntry(url, keywords, where, &entry, error))
        return false;
    if (entry == 0)
        return true;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT r.run_id, run.started_ms, run.utc_offset, r.slot, r.engine, "
                             "r.source, r.text, r.rank, r.page, r.error, r.calls%1 FROM result r "
                             "JOIN run ON run.id = r.run_id WHERE r.entry_id = ? "
                             "ORDER BY r.run_id DESC, r.slot")
                  .arg(withSites ? QString::fromLatin1(kKeptColumns) : QString()));
    q.addBindValue(entry);
    if (!q.exec())
        return readFailed(q, error);
    while (q.next()) {
        const qint64 runId = q.value(0).toLongLong();
        if (out->runs.empty() || out->runs.back().runId != runId) {
            HistoryRun run;
            run.runId = runId;
            run.time = runTime(q.value(1), q.value(2));
            out->runs.push_back(std::move(run));
        }
        const int slot = q.value(3).toInt();
        if (slot < 0 || slot >= kHistorySlots)
            continue;
        HistoryResult r;
        r.slot = slot;
        r.engine = q.value(4).toString().toStdString();
        r.source = q.value(5).toString().toStdString();
        r.text = stdString(q.value(6));
        r.rank = optionalInt(q.value(7));
        r.page = optionalInt(q.value(8));
        r.error = stdString(q.value(9));
        r.calls = q.value(10).toInt();
        if (withSites && !keptTexts(q, 11, &r, error))
            return false;
        out->runs.back().bySlot[slot] = std::move(r);
    }
    if (q.lastError().isValid())
        return readFailed(q, error);
    return true;
}

bool HistoryStore::keptTexts(const QSqlQuery& q, int first, HistoryResult* r, QString* error) {
    const auto damaged = [&](const QString& what) {
        setError(error, fail(QStringLiteral("cannot be read"), what));
        return false;
    };
    std::vector<qint64> ids;
    if (!readIdDeltas(q.value(first + 1).toByteArray(), &ids))
        return damaged(QStringLiteral("a list of kept results is damaged"));
    if (!siteTextsOf(ids, &r->results, error))
        return false;
    const qint64 aboveInResults = q.value(first + 5).toLongLong();
    if (aboveInResults < 0 || std::size_t(aboveInResults) > r->results.size())
        return damaged(QStringLiteral("a list of sites above is damaged"));
    if (aboveInResults > 0)
        r->sitesAbove.assign(r->results.begin(), r->results.begin() + aboveInResults);
    else if (!siteTexts(q.value(first).toByteArray(), &r->sitesAbove, error))
        return false;
    r->resultsPartial = q.value(first + 2).toInt() != 0;
    std::vector<qint64> sizes;
    if (!readVarints(q.value(first + 3).toByteArray(), &sizes) ||
        std::any_of(sizes.begin(), sizes.end(),
                    [](qint64 size) { return size < 0 || size > std::numeric_limits<int>::max(); }))
        return damaged(QStringLiteral("a list of results per page is damaged"));
    r->pageSizes.assign(sizes.begin(), sizes.end());
    r->rankingUrl.clear();
    if (!q.value(first + 4).isNull()) {
        std::vector<std::string> url;
        if (!siteTextsOf({q.value(first + 4).toLongLong()}, &url, error))
            return false;
        if (!url.empty())
            r->rankingUrl = std::move(url.front());
    }
    return true;
}

bool HistoryStore::siteTexts(const QByteArray& packed, std::vector<std::string>* sites,
                             QString* error) {
    sites->clear();
    std::vector<qint64> ids;
    if (!readVarints(packed, &ids)) {
        setError(error, fail(QStringLiteral("cannot be read"),
                             QStringLiteral("a list of sites above is damaged")));
        return false;
    }
    return siteTextsOf(ids, sites, error);
}

bool HistoryStore::siteTextsOf(const std::vector<qint64>& ids, std::vector<std::string>* sites,
                               QString* error) {
    sites->clear();
    sqlite3* h = m_impl->handle;
    Statement& select = m_impl->siteText;
    if (!ids.empty() && !select.prepare(h, "SELECT text FROM site WHERE id = ?")) {
        setError(error, fail(QStringLiteral("cannot be read"), reasonFor(h, sqlite3_errcode(h))));
        return false;
    }
    for (const qint64 id : ids) {
        sqlite3_bind_int64(select.stmt, 1, id);
        const int rc = sqlite3_step(select.stmt);
        if (rc == SQLITE_ROW) {
            const auto* text = static_cast<const char*>(sqlite3_column_blob(select.stmt, 0));
            sites->emplace_back(text ? text : "",
                                std::size_t(sqlite3_column_bytes(select.stmt, 0)));
        }
        sqlite3_reset(select.stmt);
        if (rc != SQLITE_ROW) {
            setError(error, fail(QStringLiteral("cannot be read"),
                                 rc == SQLITE_DONE
                                     ? QStringLiteral("a kept site is missing (id %1)").arg(id)
                                     : reasonFor(h, rc)));
            return false;
        }
    }
    return true;
}

bool HistoryStore::previousResult(const std::string& url, const std::string& keywords,
                                  const EntryWhere& where, int slot, qint64 beforeRunId,
                                  HistoryRecord* out, bool* found, QString* error, bool withSites) {
    *found = false;
    qint64 entry = 0;
    if (!findEntry(url, keywords, where, &entry, error))
        return false;
    if (entry == 0)
        return true;
    if (beforeRunId <= 0) {
        const qint64 current = m_impl->runId.load();
        beforeRunId = current != 0 ? current : std::numeric_limits<qint64>::max();
    }
    // Prepared once: the command asks this for every slot of every entry it ranked.
    auto& select = withSites ? m_impl->selectPreviousKept : m_impl->selectPrevious;
    if (!select) {
        select.emplace(QSqlDatabase::database(m_connection, false));
        select->setForwardOnly(true);
        select->prepare(
            QStringLiteral("SELECT r.run_id, run.started_ms, run.utc_offset, r.engine, r.source, "
                           "r.text, r.rank, r.page, r.error, r.calls%1 FROM result r "
                           "JOIN run ON run.id = r.run_id "
                           "WHERE r.entry_id = ? AND r.slot = ? AND r.run_id < ? "
                           "ORDER BY r.run_id DESC LIMIT 1")
                .arg(withSites ? QString::fromLatin1(kKeptColumns) : QString()));
    }
    QSqlQuery& q = *select;
    q.bindValue(0, entry);
    q.bindValue(1, slot);
    q.bindValue(2, beforeRunId);
    if (!q.exec())
        return readFailed(q, error);
    // Finished on every way out, so no read stays open on the file.
    struct Finish {
        QSqlQuery& q;
        ~Finish() { q.finish(); }
    } finish{q};
    if (!q.next())
        return true;
    out->runId = q.value(0).toLongLong();
    out->time = runTime(q.value(1), q.value(2));
    out->result = HistoryResult{};
    out->result.slot = slot;
    out->result.engine = q.value(3).toString().toStdString();
    out->result.source = q.value(4).toString().toStdString();
    out->result.text = stdString(q.value(5));
    out->result.rank = optionalInt(q.value(6));
    out->result.page = optionalInt(q.value(7));
    out->result.error = stdString(q.value(8));
    out->result.calls = q.value(9).toInt();
    out->result.where = where;
    if (withSites && !keptTexts(q, 10, &out->result, error))
        return false;
    *found = true;
    return true;
}

bool HistoryStore::cellTip(const std::string& url, const std::string& keywords,
                           const EntryWhere& where, int slot, QString* tip, QString* error) {
    tip->clear();
    HistoryRecord latest;
    HistoryRecord previous;
    bool found = false;
    if (!previousResult(url, keywords, where, slot, std::numeric_limits<qint64>::max(), &latest,
                        &found, error))
        return false;
    if (!found)
        return true;
    if (!previousResult(url, keywords, where, slot, latest.runId, &previous, &found, error))
        return false;
    if (found)
        *tip = previousResultTip(&previous, latest.result);
    return true;
}

bool HistoryStore::bestRanks(const std::string& url, const std::string& keywords,
                             const EntryWhere& where,
                             std::array<std::optional<int>, kHistorySlots>* out, QString* error) {
    out->fill(std::nullopt);
    qint64 entry = 0;
    if (!findEntry(url, keywords, where, &entry, error))
        return false;
    if (entry == 0)
        return true;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT slot, MIN(rank) FROM result WHERE entry_id = ? AND "
                             "rank IS NOT NULL GROUP BY slot"));
    q.addBindValue(entry);
    if (!q.exec())
        return readFailed(q, error);
    while (q.next()) {
        const int slot = q.value(0).toInt();
        if (slot >= 0 && slot < kHistorySlots)
            (*out)[slot] = q.value(1).toInt();
    }
    return true;
}

bool HistoryStore::exportCsv(QIODevice* out, QString* error) {
    return exportWhere(QString(), 0, out, error);
}

bool HistoryStore::exportEntryCsv(const std::string& url, const std::string& keywords,
                                  const EntryWhere& where, QIODevice* out, QString* error) {
    qint64 entry = 0;
    if (!findEntry(url, keywords, where, &entry, error))
        return false;
    if (entry == 0) {
        // Nothing recorded: the header alone, so the file still says what it is.
        if (out->write(csvHeader()) < 0) {
            setError(error, out->errorString());
            return false;
        }
        return true;
    }
    return exportWhere(QStringLiteral("WHERE r.entry_id = ?"), entry, out, error);
}

bool HistoryStore::exportWhere(const QString& where, qint64 entry, QIODevice* out, QString* error) {
    if (!isOpen()) {
        setError(error, QStringLiteral("The rank history is not open."));
        return false;
    }
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT run.started_ms, run.utc_offset, e.url, e.keywords, r.slot, "
                             "r.engine, r.source, r.text, r.rank, r.page, r.error FROM result r "
                             "JOIN run ON run.id = r.run_id JOIN entry e ON e.id = r.entry_id "
                             "%1 ORDER BY r.run_id, r.id")
                  .arg(where));
    if (!where.isEmpty())
        q.addBindValue(entry);
    if (!q.exec())
        return readFailed(q, error);
    QByteArray buffer = csvHeader();
    auto writeOut = [&]() {
        if (out->write(buffer) != buffer.size()) {
            setError(
                error,
                QStringLiteral("The history could not be written out: %1").arg(out->errorString()));
            return false;
        }
        buffer.clear();
        return true;
    };
    while (q.next()) {
        HistoryResult r;
        r.slot = q.value(4).toInt();
        r.engine = q.value(5).toString().toStdString();
        r.source = q.value(6).toString().toStdString();
        r.text = stdString(q.value(7));
        r.rank = optionalInt(q.value(8));
        r.page = optionalInt(q.value(9));
        r.error = stdString(q.value(10));
        buffer += csvLine(runTime(q.value(0), q.value(1)), stdString(q.value(2)),
                          stdString(q.value(3)), r);
        if (buffer.size() >= 1 << 16 && !writeOut())
            return false;
    }
    if (q.lastError().isValid())
        return readFailed(q, error);
    return writeOut();
}

bool loadEntryHistory(const QString& dataFilePath, const std::string& url,
                      const std::string& keywords, const EntryWhere& where, EntryHistory* out,
                      QString* error) {
    out->url = url;
    out->keywords = keywords;
    out->where = where;
    out->runs.clear();
    const QString path = historyPathFor(dataFilePath);
    const QFileInfo info(path);
    // A link, even a dangling one, is refused by the store with a reason, not taken for none.
    if (!info.isSymLink() && (!info.exists() || (info.isFile() && info.size() == 0)))
        return true;
    HistoryStore store;
    return store.openForReading(path, error) && store.loadEntry(url, keywords, where, out, error);
}

// --- Reading many entries at once ------------------------------------------------------------

bool HistoryStore::entryIdList(const std::vector<EntryKey>& entries, QString* list,
                               std::unordered_map<qint64, std::vector<int>>* indexes,
                               QString* error) {
    list->clear();
    indexes->clear();
    for (int i = 0; i < int(entries.size()); ++i) {
        qint64 id = 0;
        if (!findEntry(entries[i].url, entries[i].keywords, entries[i].where, &id, error))
            return false;
        if (id == 0)
            continue;
        std::vector<int>& at = (*indexes)[id];
        if (at.empty())
            *list += (list->isEmpty() ? QString() : QStringLiteral(",")) + QString::number(id);
        at.push_back(i);
    }
    return true;
}

bool HistoryStore::bulkRow(const QSqlQuery& q, bool withSites, HistoryRecord* out, QString* error) {
    out->runId = q.value(1).toLongLong();
    out->time = runTime(q.value(2), q.value(3));
    HistoryResult& r = out->result;
    r = HistoryResult{};
    r.slot = q.value(4).toInt();
    r.engine = q.value(5).toString().toStdString();
    r.source = q.value(6).toString().toStdString();
    r.text = stdString(q.value(7));
    r.rank = optionalInt(q.value(8));
    r.page = optionalInt(q.value(9));
    r.error = stdString(q.value(10));
    r.calls = q.value(11).toInt();
    return !withSites || keptTexts(q, 12, &r, error);
}

bool HistoryStore::bulkRows(
    QSqlQuery& q, bool withSites, const std::unordered_map<qint64, std::vector<int>>& indexes,
    QString* error, const std::function<void(HistoryRecord&, int, const std::vector<int>&)>& take) {
    if (!q.exec())
        return readFailed(q, error);
    HistoryRecord record;
    while (q.next()) {
        if (!bulkRow(q, withSites, &record, error))
            return false;
        const int slot = record.result.slot;
        const auto at = indexes.find(q.value(0).toLongLong());
        if (slot >= 0 && slot < kHistorySlots && at != indexes.end())
            take(record, slot, at->second);
    }
    if (q.lastError().isValid())
        return readFailed(q, error);
    return true;
}

namespace {

QString bulkColumns(bool withSites) {
    return QStringLiteral("r.entry_id, r.run_id, run.started_ms, run.utc_offset, r.slot, "
                          "r.engine, r.source, r.text, r.rank, r.page, r.error, r.calls%1")
        .arg(withSites ? QString::fromLatin1(kKeptColumns) : QString());
}

} // namespace

bool HistoryStore::runsOf(const std::vector<EntryKey>& entries, std::vector<HistoryRunTime>* out,
                          QString* error) {
    out->clear();
    QString ids;
    std::unordered_map<qint64, std::vector<int>> indexes;
    if (!entryIdList(entries, &ids, &indexes, error))
        return false;
    if (ids.isEmpty())
        return true;
    // The ids are numbers this store made, so they go into the text as they are.
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT id, started_ms, utc_offset FROM run WHERE id IN "
                               "(SELECT run_id FROM result WHERE entry_id IN (%1)) ORDER BY id")
                    .arg(ids)))
        return readFailed(q, error);
    while (q.next())
        out->push_back({q.value(0).toLongLong(), runTime(q.value(1), q.value(2))});
    if (q.lastError().isValid())
        return readFailed(q, error);
    return true;
}

bool HistoryStore::loadEntriesSince(const std::vector<EntryKey>& entries, const QDateTime& since,
                                    std::vector<EntryHistory>* out, QString* error,
                                    bool withSites) {
    out->assign(entries.size(), EntryHistory{});
    for (std::size_t i = 0; i < entries.size(); ++i) {
        (*out)[i].url = entries[i].url;
        (*out)[i].keywords = entries[i].keywords;
        (*out)[i].where = entries[i].where;
    }
    QString ids;
    std::unordered_map<qint64, std::vector<int>> indexes;
    if (!entryIdList(entries, &ids, &indexes, error))
        return false;
    if (ids.isEmpty())
        return true;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM result r JOIN run ON run.id = r.run_id "
                             "WHERE r.entry_id IN (%2) AND run.started_ms >= ? "
                             "ORDER BY r.entry_id, r.run_id DESC, r.slot")
                  .arg(bulkColumns(withSites), ids));
    q.addBindValue(since.isValid() ? since.toMSecsSinceEpoch()
                                   : std::numeric_limits<qint64>::min());
    return bulkRows(q, withSites, indexes, error,
                    [out](HistoryRecord& record, int slot, const std::vector<int>& at) {
                        for (std::size_t n = 0; n < at.size(); ++n) {
                            std::vector<HistoryRun>& runs = (*out)[at[n]].runs;
                            if (runs.empty() || runs.back().runId != record.runId) {
                                HistoryRun run;
                                run.runId = record.runId;
                                run.time = record.time;
                                runs.push_back(std::move(run));
                            }
                            if (n + 1 == at.size())
                                runs.back().bySlot[slot] = std::move(record.result);
                            else
                                runs.back().bySlot[slot] = record.result;
                        }
                    });
}

bool HistoryStore::latestBefore(const std::vector<EntryKey>& entries, const QDateTime& before,
                                std::vector<LatestResults>* out, QString* error, bool withSites) {
    out->assign(entries.size(), LatestResults{});
    QString ids;
    std::unordered_map<qint64, std::vector<int>> indexes;
    if (!entryIdList(entries, &ids, &indexes, error))
        return false;
    if (ids.isEmpty() || !before.isValid())
        return true;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM (SELECT b.entry_id AS e, b.slot AS s, "
                             "MAX(b.run_id) AS m FROM result b JOIN run br ON br.id = b.run_id "
                             "WHERE b.entry_id IN (%2) AND br.started_ms < ? "
                             "GROUP BY b.entry_id, b.slot) last "
                             "JOIN result r ON r.entry_id = last.e AND r.slot = last.s AND "
                             "r.run_id = last.m JOIN run ON run.id = r.run_id")
                  .arg(bulkColumns(withSites), ids));
    q.addBindValue(before.toMSecsSinceEpoch());
    return bulkRows(q, withSites, indexes, error,
                    [out](HistoryRecord& record, int slot, const std::vector<int>& at) {
                        for (const int i : at)
                            (*out)[i][slot] = record;
                    });
}

} // namespace tw
