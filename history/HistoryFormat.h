#pragma once
// What a history file is, read from the file itself before anything is written to it: one of
// ours (marked with Tallowick's application id), an unmarked file in exactly one of the formats
// written before the mark existed, a new empty database, or anything else, which is left alone.
// Free of widgets; the store calls it on its connection's handle.

#include <QString>

#include <vector>

struct sqlite3;

namespace tw::historyformat {

// PRAGMA application_id of every history this program writes: "TWKH".
inline constexpr int kApplicationId = 0x54574B48;

// The statements that make a history of the current format in an empty database (the mark and
// the version are set by the caller, in the same transaction).
const std::vector<const char*>& currentSchema();
// The site table of format 3 and its index: the step from format 2 adds them.
extern const char* const kSiteTable;
extern const char* const kSiteIndex;

enum class Kind {
    Empty,    // no tables and no version: a new file
    Ours,     // marked with kApplicationId, version 1 up to the current one
    Unmarked, // not marked, but table for table and column for column a known older format
    Newer,    // a later version than this build knows
    Foreign,  // anything else: not a Tallowick history
};

struct Recognition {
    Kind kind = Kind::Foreign;
    int version = 0;     // PRAGMA user_version
    bool marked = false; // carries kApplicationId
};

// Reads the file's mark, version and shape on handle (read-only). False with a reason when the
// file cannot be read.
bool recognize(sqlite3* handle, Recognition* out, QString* error);

} // namespace tw::historyformat
