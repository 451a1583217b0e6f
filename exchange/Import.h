#pragma once
// Adding many entries at once from a file: a CSV table (URL and keywords columns) or plain
// text with one keyword phrase per line for a URL the caller gives. Free of widgets: the
// window and the command-line tool share it.

#include "data/DataFileSession.h"
#include "data/EntryListModel.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <string>
#include <vector>

namespace tw::exchange {

// Larger files are refused unread.
inline constexpr qint64 kMaxImportFileSize = qint64(256) * 1024 * 1024;
// A file that would add more entries is refused whole.
inline constexpr size_t kMaxImportEntries = 1000000;
// Skipped line numbers kept in ImportResult::skippedLines; the count goes on.
inline constexpr size_t kMaxListedSkips = 1000;

enum class ImportFormat { Csv, PlainText };

struct ImportResult {
    // New entries in file order with "-" results, ready for EntryListModel::appendEntries or
    // appendRows; their number cells are filled in there.
    std::vector<EntryRow> rows;
    int added = 0;
    int duplicates = 0;            // already in the list, or earlier in the file
    int skipped = 0;               // lines that could not be read or make no valid entry
    std::vector<int> skippedLines; // 1-based, ascending; the first kMaxListedSkips

    // "N entries added, M already in the list, K lines skipped".
    QString summary() const;
    // "skipped lines: 3, 9, 12" with " …" when more were skipped; empty when none.
    QString skippedLinesText(int shown = 10) const;
};

// The file's bytes, as UTF-8: a UTF-16 file (little or big endian) with its byte order mark
// is decoded. Fails with a message naming the file and the reason when it is missing, a
// folder, unreadable, larger than kMaxImportFileSize, or not a text file (a NUL byte in it
// otherwise, or a NUL character in its UTF-16).
bool readImportFile(const QString& path, QByteArray& bytes, QString* error = nullptr);

// CSV by the extension (.csv, .txt); otherwise by the contents: CSV when the first non-blank
// line names the url and keywords columns or starts with a URL followed by a separator.
ImportFormat detectFormat(const QString& path, const QByteArray& bytes);

// The entries of a CSV file that are not in current yet. An optional header row names the
// columns "url" and "keywords" (any case, any position); without one the URL is column 1 and
// the keywords column 2. URL and keywords are compared and stored without blanks at either
// end and without one leading apostrophe before a cell that a spreadsheet would otherwise run
// as a formula (base/CsvCells.h; exportCsv writes it). Blank lines are passed over; lines with an
// unclosed quote or a URL or keywords the Add dialog would refuse are skipped and counted. Fails
// (result empty) only when the file would add more than kMaxImportEntries entries.
bool importCsv(const QByteArray& bytes, const std::vector<EntryRow>& current, ImportResult& result,
               QString* error = nullptr);

// One entry per non-blank line of plain text: the line as keywords, targetUrl as the URL.
// Fails (result empty) when targetUrl is one the Add dialog would refuse or the file would add
// more than kMaxImportEntries entries.
bool importPlainText(const QByteArray& bytes, const std::string& targetUrl,
                     const std::vector<EntryRow>& current, ImportResult& result,
                     QString* error = nullptr);

// readImportFile, then importCsv or importPlainText. The format is detectFormat's unless a
// target URL is given, which means plain text.
bool importFile(const QString& path, const std::string& targetUrl,
                const std::vector<EntryRow>& current, ImportResult& result,
                QString* error = nullptr);

enum class DataFileImport {
    Done,            // the file was read; its new entries (if any) are saved
    ImportFileError, // the import file could not be read or was refused; nothing changed
    DataFileError,   // the entry list could not be read or written; it is as it was
};
// The command-line import: reads session's entry list, adds the new entries of importPath (as
// importFile) and saves the list when anything was added. The caller holds session's lock. On
// an error the message is in *error.
DataFileImport importIntoDataFile(datafile::CDataFileSession& session, const QString& importPath,
                                  const std::string& targetUrl, ImportResult& result,
                                  QString* error = nullptr);

// Appends rows to a list held outside a model, numbering them on.
void appendRows(std::vector<EntryRow>& list, std::vector<EntryRow> rows);

} // namespace tw::exchange
