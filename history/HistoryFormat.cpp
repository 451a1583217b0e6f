#include "history/HistoryFormat.h"

#include "history/HistoryStore.h"

#include <sqlite3.h>

#include <map>
#include <set>
#include <string>

namespace tw::historyformat {

// hash: siteHash() of the text, so that a site is found without an index of the texts
// themselves (which would keep every text twice).
const char* const kSiteTable =
    "CREATE TABLE site (id INTEGER PRIMARY KEY, hash INTEGER NOT NULL, text BLOB NOT NULL)";
const char* const kSiteIndex = "CREATE INDEX site_hash ON site (hash)";

namespace {

const char* const kEntryTable = "CREATE TABLE entry (id INTEGER PRIMARY KEY, url BLOB NOT NULL, "
                                "keywords BLOB NOT NULL, UNIQUE (url, keywords))";
// started_ms: milliseconds since 1970 UTC; utc_offset: seconds east of UTC at the start.
const char* const kRunTable = "CREATE TABLE run (id INTEGER PRIMARY KEY, started_ms INTEGER NOT "
                              "NULL, utc_offset INTEGER NOT NULL)";
const char* const kResultIndex = "CREATE INDEX result_entry ON result (entry_id, slot, run_id)";

// Version 1 kept no source and the sites above as plain text, one per line.
const char* const kResultV1 =
    "CREATE TABLE result (id INTEGER PRIMARY KEY, run_id INTEGER NOT NULL REFERENCES run (id), "
    "entry_id INTEGER NOT NULL REFERENCES entry (id), "
    "slot INTEGER NOT NULL CHECK (slot BETWEEN 0 AND 3), engine TEXT NOT NULL, "
    "text BLOB NOT NULL, rank INTEGER, page INTEGER, error BLOB, sites TEXT)";
// Version 2 added the source and packed each result's sites; the source column goes last in both
// fresh and migrated files so the two have the same shape. Version 3 has the same result table
// and keeps each distinct site text once, in the site table, and per result only their ids.
const char* const kResultV2 =
    "CREATE TABLE result (id INTEGER PRIMARY KEY, run_id INTEGER NOT NULL REFERENCES run (id), "
    "entry_id INTEGER NOT NULL REFERENCES entry (id), "
    "slot INTEGER NOT NULL CHECK (slot BETWEEN 0 AND 3), engine TEXT NOT NULL, "
    "text BLOB NOT NULL, rank INTEGER, page INTEGER, error BLOB, sites BLOB, "
    "source TEXT NOT NULL DEFAULT 'classic')";
const char* const kAddSource =
    "ALTER TABLE result ADD COLUMN source TEXT NOT NULL DEFAULT 'classic'";

// Every table's columns and every index, as SQLite reports them: what makes two files the same
// format whatever their statements' spelling.
struct Shape {
    std::map<std::string, std::vector<std::string>> tables;
    std::set<std::string> indexes;
    int others = 0; // views and triggers: never part of a history
    bool operator==(const Shape&) const = default;
};

std::string columnText(sqlite3_stmt* st, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    return sqlite3_column_type(st, column) == SQLITE_NULL ? std::string("\x01null")
                                                          : std::string(text ? text : "");
}

// The rows of sql with each value bound in turn to its parameter, as texts joined by '|'.
bool rows(sqlite3* h, const char* sql, const std::string& bound, std::vector<std::string>* out) {
    out->clear();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) != SQLITE_OK)
        return false;
    if (!bound.empty())
        sqlite3_bind_text(st, 1, bound.data(), int(bound.size()), SQLITE_TRANSIENT);
    int rc = SQLITE_DONE;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        std::string row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            if (c > 0)
                row += '|';
            row += columnText(st, c);
        }
        out->push_back(std::move(row));
    }
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

bool readShape(sqlite3* h, Shape* shape) {
    *shape = Shape{};
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, "SELECT type, name FROM sqlite_master", -1, &st, nullptr) !=
        SQLITE_OK)
        return false;
    std::vector<std::string> tables;
    int rc = SQLITE_DONE;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const std::string type = columnText(st, 0);
        const std::string name = columnText(st, 1);
        if (type == "table") {
            // SQLite's own tables (statistics an ANALYZE left) say nothing of the format.
            if (name.rfind("sqlite_", 0) != 0)
                tables.push_back(name);
        } else if (type != "index") {
            ++shape->others;
        }
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return false;
    std::vector<std::string> found;
    for (const std::string& table : tables) {
        if (!rows(h,
                  "SELECT name, lower(type), \"notnull\", dflt_value, pk FROM pragma_table_info(?)",
                  table, &found))
            return false;
        shape->tables[table] = found;
        std::vector<std::string> indexes;
        if (!rows(h, "SELECT name, \"unique\", origin FROM pragma_index_list(?)", table, &indexes))
            return false;
        for (const std::string& index : indexes) {
            const std::string name = index.substr(0, index.find('|'));
            if (!rows(h, "SELECT name FROM pragma_index_info(?) ORDER BY seqno", name, &found))
                return false;
            std::string text = table + ':' + index + ':';
            for (const std::string& column : found)
                text += column + ',';
            shape->indexes.insert(text);
        }
    }
    return true;
}

// The shape the statements make in an empty database.
Shape shapeOf(std::initializer_list<const char*> statements) {
    Shape shape;
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(":memory:", &h, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, nullptr) ==
        SQLITE_OK) {
        bool made = true;
        for (const char* sql : statements)
            made = made && sqlite3_exec(h, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
        if (!made || !readShape(h, &shape))
            shape = Shape{};
    }
    sqlite3_close(h);
    return shape;
}

// Each format written before the mark, as made new and as brought up to it from version 1 (whose
// sites column keeps its type).
const std::map<int, std::vector<Shape>>& knownUnmarked() {
    static const std::map<int, std::vector<Shape>> known = {
        {1, {shapeOf({kEntryTable, kRunTable, kResultV1, kResultIndex})}},
        {2,
         {shapeOf({kEntryTable, kRunTable, kResultV2, kResultIndex}),
          shapeOf({kEntryTable, kRunTable, kResultV1, kResultIndex, kAddSource})}},
        {3,
         {shapeOf({kEntryTable, kRunTable, kResultV2, kResultIndex, kSiteTable, kSiteIndex}),
          shapeOf({kEntryTable, kRunTable, kResultV1, kResultIndex, kAddSource, kSiteTable,
                   kSiteIndex})}},
    };
    return known;
}

bool pragmaInt(sqlite3* h, const char* sql, int* value) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) != SQLITE_OK)
        return false;
    const bool ok = sqlite3_step(st) == SQLITE_ROW;
    if (ok)
        *value = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    return ok;
}

} // namespace

const std::vector<const char*>& currentSchema() {
    static const std::vector<const char*> schema = {kEntryTable,  kRunTable,  kResultV2,
                                                    kResultIndex, kSiteTable, kSiteIndex};
    return schema;
}

bool recognize(sqlite3* h, Recognition* out, QString* error) {
    *out = Recognition{};
    int applicationId = 0;
    Shape shape;
    if (!pragmaInt(h, "PRAGMA application_id", &applicationId) ||
        !pragmaInt(h, "PRAGMA user_version", &out->version) || !readShape(h, &shape)) {
        if (error)
            *error = QString::fromUtf8(sqlite3_errmsg(h));
        return false;
    }
    const int version = out->version;
    out->marked = applicationId == kApplicationId;
    const auto has = [&shape](const char* table) { return shape.tables.count(table) > 0; };
    const bool historyTables = has("entry") && has("run") && has("result");
    if (out->marked) {
        if (version > kHistorySchemaVersion)
            out->kind = Kind::Newer;
        else if (version >= 1 && historyTables && (version < 3 || has("site")))
            out->kind = Kind::Ours;
        return true;
    }
    if (applicationId != 0)
        return true; // another program's mark
    if (version == 0 && shape == Shape{}) {
        out->kind = Kind::Empty;
        return true;
    }
    // Left alone either way; the message is the one a later version's file deserves.
    if (version > kHistorySchemaVersion && historyTables) {
        out->kind = Kind::Newer;
        return true;
    }
    const auto known = knownUnmarked().find(version);
    if (known == knownUnmarked().end())
        return true;
    for (const Shape& candidate : known->second) {
        if (!candidate.tables.empty() && candidate == shape)
            out->kind = Kind::Unmarked;
    }
    return true;
}

} // namespace tw::historyformat
