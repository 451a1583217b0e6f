#include "history/HistoryStore.h"

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

#include <zlib.h>

#include <atomic>
#include <limits>
#include <unordered_map>

namespace tw {

namespace {

// Version 1 kept no source and the sites above as plain text, one per line. Version 2 adds the
// source and packs the sites (length-prefixed, compressed); the source column goes last in both
// fresh and migrated files so the two have the same shape.
const char* const kSchemaV2[] = {
    "CREATE TABLE entry (id INTEGER PRIMARY KEY, url BLOB NOT NULL, keywords BLOB NOT NULL, "
    "UNIQUE (url, keywords))",
    // started_ms: milliseconds since 1970 UTC; utc_offset: seconds east of UTC at the start.
    "CREATE TABLE run (id INTEGER PRIMARY KEY, started_ms INTEGER NOT NULL, "
    "utc_offset INTEGER NOT NULL)",
    "CREATE TABLE result (id INTEGER PRIMARY KEY, run_id INTEGER NOT NULL REFERENCES run (id), "
    "entry_id INTEGER NOT NULL REFERENCES entry (id), "
    "slot INTEGER NOT NULL CHECK (slot BETWEEN 0 AND 3), engine TEXT NOT NULL, "
    "text BLOB NOT NULL, rank INTEGER, page INTEGER, error BLOB, sites BLOB, "
    "source TEXT NOT NULL DEFAULT 'classic')",
    "CREATE INDEX result_entry ON result (entry_id, slot, run_id)",
};

const QByteArray kSqliteMagic("SQLite format 3\0", 16);

std::atomic<int> g_connectionCounter{0};

QByteArray bytes(const std::string& text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

std::string stdString(const QVariant& value) {
    const QByteArray data = value.toByteArray();
    return std::string(data.constData(), std::size_t(data.size()));
}

std::optional<int> optionalInt(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    return value.toInt();
}

QVariant intOrNull(const std::optional<int>& value) {
    return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::Int));
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

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

} // namespace

struct HistoryStore::Impl {
    std::optional<QSqlQuery> insertResult;
    std::optional<QSqlQuery> insertEntry;
    std::optional<QSqlQuery> selectEntry;
    std::optional<QSqlQuery> selectPrevious;
    // Entry ids by key; ids made in a run that is rolled back are forgotten with it.
    std::unordered_map<std::string, qint64> entryIds;
    std::atomic<qint64> runId{0};
    std::string lastUrl;
    std::string lastKeywords;
    qint64 lastId = 0;

    void remember(const std::string& url, const std::string& keywords, qint64 id) {
        lastUrl = url;
        lastKeywords = keywords;
        lastId = id;
    }
    void forget() {
        entryIds.clear();
        lastId = 0;
    }

    static std::string key(const std::string& url, const std::string& keywords) {
        std::string k = std::to_string(url.size());
        k += ':';
        k += url;
        k += keywords;
        return k;
    }
};

QString historyPathFor(const QString& dataFilePath) {
    const QFileInfo info(dataFilePath);
    QString base = info.fileName();
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    // A leading dot names a hidden file, not an extension.
    if (dot > 0)
        base.truncate(dot);
    const QString name = base + QStringLiteral(".history.sqlite");
    const QString folder = info.path();
    return folder == QStringLiteral(".") && !dataFilePath.startsWith(QStringLiteral("./"))
               ? name
               : QDir(folder).filePath(name);
}

namespace {
// One compressor per thread, reset between lists: setting one up clears a few hundred KB, which
// costs more than compressing a list of sites.
class Deflater {
public:
    Deflater() { m_ok = deflateInit(&m_stream, Z_DEFAULT_COMPRESSION) == Z_OK; }
    ~Deflater() {
        if (m_ok)
            deflateEnd(&m_stream);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // The layout qCompress writes (the length, big-endian, then a zlib stream), so
    // qUncompress reads it back.
    QByteArray compress(const std::string& raw) {
        if (!m_ok || deflateReset(&m_stream) != Z_OK)
            return qCompress(reinterpret_cast<const uchar*>(raw.data()), qsizetype(raw.size()));
        const auto size = quint32(raw.size());
        QByteArray out(4 + qsizetype(deflateBound(&m_stream, uLong(raw.size()))),
                       Qt::Uninitialized);
        out[0] = char(size >> 24);
        out[1] = char(size >> 16);
        out[2] = char(size >> 8);
        out[3] = char(size);
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
        m_stream.avail_in = uInt(raw.size());
        m_stream.next_out = reinterpret_cast<Bytef*>(out.data() + 4);
        m_stream.avail_out = uInt(out.size() - 4);
        if (deflate(&m_stream, Z_FINISH) != Z_STREAM_END)
            return qCompress(reinterpret_cast<const uchar*>(raw.data()), qsizetype(raw.size()));
        out.truncate(4 + qsizetype(m_stream.total_out));
        return out;
    }

private:
    z_stream m_stream{};
    bool m_ok = false;
};
} // namespace

QByteArray packSites(const std::vector<std::string>& sites) {
    if (sites.empty())
        return {};
    thread_local Deflater deflater;
    thread_local std::string raw;
    raw.clear();
    const std::size_t count = std::min<std::size_t>(sites.size(), kHistoryMaxSites);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& site = sites[i];
        const quint32 size = quint32(std::min<std::size_t>(site.size(), 0x7fffffff));
        const char prefix[4] = {char(size >> 24), char(size >> 16), char(size >> 8), char(size)};
        raw.append(prefix, 4);
        raw.append(site.data(), size);
    }
    return deflater.compress(raw);
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

void HistoryStore::close() {
    if (m_connection.isEmpty())
        return;
    rollbackRun();
    m_impl->insertResult.reset();
    m_impl->insertEntry.reset();
    m_impl->selectEntry.reset();
    m_impl->selectPrevious.reset();
    m_impl->forget();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
    m_schemaVersion = 0;
    m_ownerThread = nullptr;
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

    // Read-only checks first: a damaged or foreign file must not be written to at all. The
    // check reads the whole file, so only a store that is going to write pays for it; a damaged
    // page met while reading shows as an error of that call.
    if (!readOnly) {
        QSqlQuery check(db);
        if (!check.exec(QStringLiteral("PRAGMA quick_check"))) {
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
    int version = 0;
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
            setError(error, fail(QStringLiteral("cannot be used"), reasonFor(q.lastError())));
            return false;
        }
        version = q.value(0).toInt();
        m_fileVersion = version;
    }
    int tables = 0;
    bool ours = true;
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))) {
            setError(error, fail(QStringLiteral("cannot be used"), reasonFor(q.lastError())));
            return false;
        }
        int known = 0;
        while (q.next()) {
            ++tables;
            const QString name = q.value(0).toString();
            if (name == QStringLiteral("entry") || name == QStringLiteral("run") ||
                name == QStringLiteral("result"))
                ++known;
        }
        ours = known == 3;
    }
    if (version > kHistorySchemaVersion) {
        setError(error,
                 fail(QStringLiteral("was left as it is"),
                      QStringLiteral("it was written by a newer version of the program (format "
                                     "%1; this version knows up to %2)")
                          .arg(version)
                          .arg(kHistorySchemaVersion)));
        return false;
    }
    if ((version == 0 && tables > 0) || (version > 0 && !ours)) {
        setError(error, fail(QStringLiteral("was left as it is"),
                             QStringLiteral("it is an SQLite database, but no rank history")));
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
        if (!migrate(error))
            return false;
    }
    m_schemaVersion = kHistorySchemaVersion;
    return true;
}

bool HistoryStore::migrate(QString* error) {
    if (m_schemaVersion == kHistorySchemaVersion)
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
        setError(error, fail(QStringLiteral("cannot be brought up to date"), reason));
        return false;
    };
    // Another program may have done the work while this one waited for the lock.
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return failed(q);
    int version = q.value(0).toInt();
    q.finish();
    if (version == 0) {
        for (const char* statement : kSchemaV2) {
            if (!q.exec(QString::fromLatin1(statement)))
                return failed(q);
        }
        version = kHistorySchemaVersion;
    }
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
    if (!q.exec(QStringLiteral("PRAGMA user_version = %1").arg(version)) ||
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

bool HistoryStore::record(const std::string& url, const std::string& keywords,
                          const HistoryResult& result, QString* error) {
    if (m_impl->runId.load() == 0) {
        setError(error, noRunError(QStringLiteral("cannot record a result")));
        return false;
    }
    if (result.slot < 0 || result.slot >= kHistorySlots) {
        setError(error, fail(QStringLiteral("cannot record a result"),
                             QStringLiteral("slot %1 does not exist").arg(result.slot)));
        return false;
    }
    QByteArray sites = packSites(result.sitesAbove);
    if (QThread::currentThreadId() != m_ownerThread) {
        Pending pending{url, keywords, {}, std::move(sites)};
        HistoryResult& copy = pending.result;
        copy.slot = result.slot;
        copy.engine = result.engine;
        copy.source = result.source;
        copy.text = result.text;
        copy.rank = result.rank;
        copy.page = result.page;
        copy.error = result.error;
        std::lock_guard<std::mutex> lock(m_pendingLock);
        m_pending.push_back(std::move(pending));
        return true;
    }
    return flush(error) && writeOne(url, keywords, result, sites, error);
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

bool HistoryStore::entryId(const std::string& url, const std::string& keywords, bool create,
                           qint64* id, QString* error) {
    // A run records the slots of one entry one after the other.
    if (m_impl->lastId != 0 && url == m_impl->lastUrl && keywords == m_impl->lastKeywords) {
        *id = m_impl->lastId;
        return true;
    }
    const std::string key = Impl::key(url, keywords);
    if (const auto it = m_impl->entryIds.find(key); it != m_impl->entryIds.end()) {
        *id = it->second;
        m_impl->remember(url, keywords, *id);
        return true;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    auto& select = m_impl->selectEntry;
    if (!select) {
        select.emplace(db);
        select->prepare(QStringLiteral("SELECT id FROM entry WHERE url = ? AND keywords = ?"));
    }
    select->bindValue(0, bytes(url));
    select->bindValue(1, bytes(keywords));
    if (!select->exec()) {
        setError(error, fail(QStringLiteral("cannot be read"), reasonFor(select->lastError())));
        return false;
    }
    if (select->next()) {
        *id = select->value(0).toLongLong();
        select->finish();
        m_impl->entryIds.emplace(key, *id);
        m_impl->remember(url, keywords, *id);
        return true;
    }
    select->finish();
    if (!create) {
        *id = 0;
        return true;
    }
    auto& insert = m_impl->insertEntry;
    if (!insert) {
        insert.emplace(db);
        insert->prepare(QStringLiteral("INSERT INTO entry (url, keywords) VALUES (?, ?)"));
    }
    insert->bindValue(0, bytes(url));
    insert->bindValue(1, bytes(keywords));
    if (!insert->exec()) {
        setError(error, fail(QStringLiteral("cannot be written"), reasonFor(insert->lastError())));
        return false;
    }
    *id = insert->lastInsertId().toLongLong();
    m_impl->entryIds.emplace(key, *id);
    m_impl->remember(url, keywords, *id);
    return true;
}

bool HistoryStore::writePending(std::vector<Pending>& pending, QString* error) {
    for (const Pending& p : pending) {
        if (!writeOne(p.url, p.keywords, p.result, p.sites, error))
            return false;
    }
    return true;
}

bool HistoryStore::writeOne(const std::string& url, const std::string& keywords,
                            const HistoryResult& r, const QByteArray& sites, QString* error) {
    auto& insert = m_impl->insertResult;
    if (!insert) {
        insert.emplace(QSqlDatabase::database(m_connection, false));
        insert->prepare(QStringLiteral(
            "INSERT INTO result (run_id, entry_id, slot, engine, source, text, rank, page, error, "
            "sites) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    }
    const qint64 runId = m_impl->runId.load();
    if (runId == 0) {
        setError(error, noRunError(QStringLiteral("cannot record a result")));
        return false;
    }
    qint64 entry = 0;
    QString reason;
    if (!entryId(url, keywords, true, &entry, &reason)) {
        abandonRun(reason);
        setError(error, reason);
        return false;
    }
    insert->bindValue(0, runId);
    insert->bindValue(1, entry);
    insert->bindValue(2, r.slot);
    insert->bindValue(3, QString::fromStdString(r.engine));
    insert->bindValue(4, r.source.empty() ? QStringLiteral("classic")
                                          : QString::fromStdString(r.source));
    insert->bindValue(5, bytes(r.text));
    insert->bindValue(6, intOrNull(r.rank));
    insert->bindValue(7, intOrNull(r.page));
    insert->bindValue(8, r.error.empty() ? QVariant(QMetaType(QMetaType::QByteArray))
                                         : QVariant(bytes(r.error)));
    insert->bindValue(9, sites.isEmpty() ? QVariant(QMetaType(QMetaType::QByteArray))
                                         : QVariant(sites));
    if (!insert->exec()) {
        reason = fail(QStringLiteral("cannot be written"), reasonFor(insert->lastError()));
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

bool HistoryStore::loadEntry(const std::string& url, const std::string& keywords, EntryHistory* out,
                             QString* error, bool withSites) {
    out->url = url;
    out->keywords = keywords;
    out->runs.clear();
    if (!isOpen()) {
        setError(error, QStringLiteral("The rank history is not open."));
        return false;
    }
    qint64 entry = 0;
    if (!entryId(url, keywords, false, &entry, error))
        return false;
    if (entry == 0)
        return true;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT r.run_id, run.started_ms, run.utc_offset, r.slot, r.engine, "
                             "r.source, r.text, r.rank, r.page, r.error%1 FROM result r "
                             "JOIN run ON run.id = r.run_id WHERE r.entry_id = ? "
                             "ORDER BY r.run_id DESC, r.slot")
                  .arg(withSites ? QStringLiteral(", r.sites") : QString()));
    q.addBindValue(entry);
    if (!q.exec()) {
        setError(error, fail(QStringLiteral("cannot be read"), reasonFor(q.lastError())));
        return false;
    }
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
        if (withSites)
            unpackSites(q.value(10).toByteArray(), &r.sitesAbove);
        out->runs.back().bySlot[slot] = std::move(r);
    }
    if (q.lastError().isValid()) {
        setError(error, fail(QStringLiteral("cannot be read"), reasonFor(q.lastError())));
        return false;
    }
    return true;
}

bool HistoryStore::previousResult(const std::string& url, const std::string& keywords, int slot,
                                  qint64 beforeRunId, HistoryRecord* out, bool* found,
                                  QString* error) {
    *found = false;
    if (!isOpen()) {
        setError(error, QStringLiteral("The rank history is not open."));
        return false;
    }
    qint64 entry = 0;
    if (!entryId(url, keywords, false, &entry, error))
        return false;
    if (entry == 0)
        return true;
    if (beforeRunId <= 0) {
        const qint64 current = m_impl->runId.load();
        beforeRunId = current != 0 ? current : std::numeric_limits<qint64>::max();
    }
    // Prepared once: the command asks this for every slot of every entry it ranked.
    auto& select = m_impl->selectPrevious;
    if (!select) {
        select.emplace(QSqlDatabase::database(m_connection, false));
        select->setForwardOnly(true);
        select->prepare(
            QStringLiteral("SELECT r.run_id, run.started_ms, run.utc_offset, r.engine, r.source, "
                           "r.text, r.rank, r.page, r.error FROM result r "
                           "JOIN run ON run.id = r.run_id "
                           "WHERE r.entry_id = ? AND r.slot = ? AND r.run_id < ? "
                           "ORDER BY r.run_id DESC LIMIT 1"));
    }
    QSqlQuery& q = *select;
    q.bindValue(0, entry);
    q.bindValue(1, slot);
    q.bindValue(2, beforeRunId);
    if (!q.exec()) {
        setError(error, fail(QStringLiteral("cannot be read"), reasonFor(q.lastError())));
        return false;
    }
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
    *found = true;
    return true;
}

bool HistoryStore::cellTip(const std::string& url, const std::string& keywords, int slot,
                           QString* tip, QString* error) {
    tip->clear();
    HistoryRecord latest;
    HistoryRecord previous;
    bool found = false;
    if (!previousResult(url, keywords, slot, std::numeric_limits<qint64>::max(), &latest, &found,
                        error))
        return false;
    if (!found)
        return true;
    if (!previousResult(url, keywords, slot, latest.runId, &previous, &found, error))
        return false;
    if (found)
        *tip = previousResultTip(&previous, latest.result);
    return true;
}

bool HistoryStore::bestRanks(const std::string& url, const std::string& keywords,
                             std::array<std::optional<int>, kHistorySlots>* out, QString* error) {
    out->fill(std::nullopt);
    if (!isOpen()) {
        setError(error, QStringLiteral("The rank history is not open."));
        return false;
    }
    qint64 entry = 0;
    if (!entryId(url, keywords, false, &entry, error))
        return false;
    if (entry == 0)
        return true;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT slot, MIN(rank) FROM result WHERE entry_id = ? AND "
                             "rank IS NOT NULL GROUP BY slot"));
    q.addBindValue(entry);
    if (!q.exec()) {
        setError(error, fail(QStringLiteral("cannot be read"), reasonFor(q.lastError())));
        return false;
    }
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
                                  QIODevice* out, QString* error) {
    if (!isOpen()) {
        setError(error, QStringLiteral("The rank history is not open."));
        return false;
    }
    qint64 entry = 0;
    if (!entryId(url, keywords, false, &entry, error))
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
    if (!q.exec()) {
        setError(error, fail(QStringLiteral("cannot be read"), reasonFor(q.lastError())));
        return false;
    }
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
    if (q.lastError().isValid()) {
        setError(error, fail(QStringLiteral("cannot be read"), reasonFor(q.lastError())));
        return false;
    }
    return writeOut();
}

bool loadEntryHistory(const QString& dataFilePath, const std::string& url,
                      const std::string& keywords, EntryHistory* out, QString* error) {
    out->url = url;
    out->keywords = keywords;
    out->runs.clear();
    const QString path = historyPathFor(dataFilePath);
    const QFileInfo info(path);
    if (!info.exists() || (info.isFile() && info.size() == 0))
        return true;
    HistoryStore store;
    return store.openForReading(path, error) && store.loadEntry(url, keywords, out, error);
}

} // namespace tw
