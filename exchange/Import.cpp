#include "exchange/Import.h"

#include "base/CsvCells.h"
#include "data/DataFile.h"
#include "exchange/Csv.h"
#include "exchange/EntryCheck.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_set>

namespace tw::exchange {
namespace {
constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<size_t>(bytes.size())};
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// Entries already in the list or in the file so far, by their exact bytes.
class EntryKeys {
public:
    explicit EntryKeys(const std::vector<EntryRow>& current) {
        m_keys.reserve(current.size() * 2);
        for (const EntryRow& row : current)
            insert(trimBlanks(row.cells[ColUrl]), trimBlanks(row.cells[ColKeywords]), row.options);
    }
    // False when the entry was there already: the same URL and keywords ranked on the same
    // device in the same place (a keyword may be tracked on a phone and on a desktop).
    bool insert(std::string_view url, std::string_view keywords,
                const datafile::EntryOptions& options = {}) {
        // Each part's length first, so that no split of the bytes is mistaken for another.
        std::string key = std::to_string(url.size());
        key += ':';
        key += url;
        key += std::to_string(keywords.size());
        key += ':';
        key += keywords;
        key += options.device == datafile::kMobile ? "m" : "d";
        key += options.location;
        return m_keys.insert(std::move(key)).second;
    }

private:
    std::unordered_set<std::string> m_keys;
};

class Collector {
public:
    Collector(const std::vector<EntryRow>& current, ImportResult& result)
        : m_keys(current), m_result(result) {}

    void skip(int line) {
        ++m_result.skipped;
        if (m_result.skippedLines.size() < kMaxListedSkips)
            m_result.skippedLines.push_back(line);
    }
    // False once the file holds too many new entries.
    bool add(std::string_view url, std::string_view keywords,
             const datafile::EntryOptions& options = {}) {
        if (!m_keys.insert(url, keywords, options)) {
            ++m_result.duplicates;
            return true;
        }
        if (m_result.rows.size() >= kMaxImportEntries)
            return false;
        EntryRow row;
        row.cells[ColUrl] = url;
        row.cells[ColKeywords] = keywords;
        for (int e = 0; e < kEngineCount; ++e)
            row.cells[EngineColumn(e)].assign(1, '-');
        row.options = options;
        m_result.rows.push_back(std::move(row));
        ++m_result.added;
        return true;
    }

private:
    EntryKeys m_keys;
    ImportResult& m_result;
};

bool tooMany(ImportResult& result, QString* error) {
    result = ImportResult();
    if (error)
        *error = QStringLiteral("The file holds more than %L1 new entries; nothing was added.")
                     .arg(qulonglong(kMaxImportEntries));
    return false;
}

std::string_view fieldAt(const CsvRecord& record, size_t column);

// The columns of the entry options a header row names; tags may come from several ("tags",
// "tag", "client", "group"), joined in their order.
struct OptionColumns {
    std::optional<size_t> country, language, device, location;
    std::vector<size_t> tags;

    bool readOptions(const CsvRecord& record, datafile::EntryOptions& out) const {
        const auto at = [&](const std::optional<size_t>& c) {
            return c ? std::string(fieldAt(record, *c)) : std::string();
        };
        out.country = at(country);
        out.language = at(language);
        out.device = at(device);
        out.location = at(location);
        for (size_t c : tags) {
            const std::string_view t = fieldAt(record, c);
            if (t.empty())
                continue;
            if (!out.tags.empty())
                out.tags += ", ";
            out.tags += t;
        }
        return datafile::normalizeOptions(out, nullptr);
    }
};

// Column positions named by a header row, or false when record is no header.
bool headerColumns(const CsvRecord& record, size_t& urlColumn, size_t& keywordsColumn,
                   OptionColumns* options = nullptr) {
    if (record.unclosedLine)
        return false;
    bool url = false;
    bool keywords = false;
    OptionColumns found;
    for (size_t i = 0; i < record.fields.size(); ++i) {
        const std::string name = asciiLower(trimBlanks(record.fields[i]));
        if (name == "url" && !url) {
            url = true;
            urlColumn = i;
        } else if (name == "keywords" && !keywords) {
            keywords = true;
            keywordsColumn = i;
        } else if (name == "country" && !found.country) {
            found.country = i;
        } else if (name == "language" && !found.language) {
            found.language = i;
        } else if (name == "device" && !found.device) {
            found.device = i;
        } else if (name == "location" && !found.location) {
            found.location = i;
        } else if (name == "tags" || name == "tag" || name == "client" || name == "group") {
            found.tags.push_back(i);
        }
    }
    if (url && keywords && options)
        *options = std::move(found);
    return url && keywords;
}

bool isBlankRecord(const CsvRecord& record) {
    return std::all_of(record.fields.begin(), record.fields.end(),
                       [](const std::string& f) { return trimBlanks(f).empty(); });
}

// The cell without blanks at either end, and without the apostrophe the export puts before a
// cell a spreadsheet would run, so that an exported list imports as it was.
std::string_view fieldAt(const CsvRecord& record, size_t column) {
    if (column >= record.fields.size())
        return {};
    return trimBlanks(text::UnguardCsvCell(trimBlanks(record.fields[column])));
}

// A UTF-16 file with its byte order mark becomes UTF-8 (the mark dropped); other text stays as
// its bytes. False for what holds a NUL, or UTF-16 that does not decode: no text the readers
// know, and it would make entries full of NULs.
bool decodeText(QByteArray& bytes) {
    const bool le = bytes.startsWith("\xFF\xFE");
    const bool be = bytes.startsWith("\xFE\xFF");
    if (le || be) {
        if (bytes.size() % 2 != 0)
            return false;
        QStringDecoder decoder(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                               QStringConverter::Flag::Stateless);
        const QString text = decoder.decode(bytes);
        if (decoder.hasError() || text.contains(QChar(0)))
            return false;
        bytes = text.toUtf8();
        return true;
    }
    return !bytes.contains('\0');
}

QString plural(int n, const char* one, const char* many) {
    return QStringLiteral("%L1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}
} // namespace

QString ImportResult::summary() const {
    return QStringLiteral("%1 added, %L2 already in the list, %3 skipped")
        .arg(plural(added, "entry", "entries"))
        .arg(duplicates)
        .arg(plural(skipped, "line", "lines"));
}

QString ImportResult::skippedLinesText(int shown) const {
    if (skippedLines.empty())
        return {};
    QStringList numbers;
    const size_t count = std::min(skippedLines.size(), size_t(std::max(shown, 1)));
    for (size_t i = 0; i < count; ++i)
        numbers << QString::number(skippedLines[i]);
    QString text = QStringLiteral("skipped lines: ") + numbers.join(QStringLiteral(", "));
    if (size_t(skipped) > count)
        text += QStringLiteral(" \u2026");
    return text;
}

bool readImportFile(const QString& path, QByteArray& bytes, QString* error) {
    bytes.clear();
    const QFileInfo info(path);
    QString reason;
    if (!info.exists())
        reason = QStringLiteral("No such file or directory");
    else if (info.isDir())
        reason = QStringLiteral("Is a directory");
    else if (info.isFile() && info.size() > kMaxImportFileSize)
        reason = QStringLiteral("It is larger than %1 MiB").arg(kMaxImportFileSize >> 20);
    if (reason.isEmpty()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            reason = file.errorString();
        } else {
            // Read no further than the limit: the file may be a pipe or still growing.
            bytes = file.read(kMaxImportFileSize + 1);
            if (file.error() != QFileDevice::NoError)
                reason = file.errorString();
            else if (bytes.size() > kMaxImportFileSize)
                reason = QStringLiteral("It is larger than %1 MiB").arg(kMaxImportFileSize >> 20);
        }
    }
    if (reason.isEmpty() && !decodeText(bytes))
        reason = QStringLiteral("It is not a text file");
    if (reason.isEmpty())
        return true;
    bytes.clear();
    if (error)
        *error =
            QStringLiteral("\"%1\" could not be read: %2").arg(datafile::DisplayPath(path), reason);
    return false;
}

ImportFormat detectFormat(const QString& path, const QByteArray& bytes) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return ImportFormat::Csv;
    if (suffix == QLatin1String("txt"))
        return ImportFormat::PlainText;
    CsvReader reader(view(bytes));
    CsvRecord record;
    while (reader.next(record)) {
        if (isBlankRecord(record))
            continue;
        size_t url = 0;
        size_t keywords = 0;
        if (headerColumns(record, url, keywords))
            return ImportFormat::Csv;
        if (record.fields.size() < 2)
            return ImportFormat::PlainText;
        // A keyword phrase may hold a comma; a URL has a dot and no blanks.
        const std::string_view first = trimBlanks(record.fields[0]);
        return checkTargetUrl(first) && first.find('.') != std::string_view::npos
                   ? ImportFormat::Csv
                   : ImportFormat::PlainText;
    }
    return ImportFormat::PlainText;
}

bool importCsv(const QByteArray& bytes, const std::vector<EntryRow>& current, ImportResult& result,
               QString* error) {
    result = ImportResult();
    Collector collector(current, result);
    CsvReader reader(view(bytes));
    CsvRecord record;
    size_t urlColumn = 0;
    size_t keywordsColumn = 1;
    OptionColumns optionColumns;
    bool first = true;
    while (reader.next(record)) {
        if (record.unclosedLine) {
            first = false;
            collector.skip(record.line);
            continue;
        }
        if (isBlankRecord(record))
            continue;
        if (first) {
            first = false;
            if (headerColumns(record, urlColumn, keywordsColumn, &optionColumns))
                continue;
        }
        const std::string_view url = fieldAt(record, urlColumn);
        const std::string_view keywords = fieldAt(record, keywordsColumn);
        datafile::EntryOptions options;
        // A country, language or device that means nothing makes no entry either.
        if (!checkEntry(url, keywords) || !optionColumns.readOptions(record, options)) {
            collector.skip(record.line);
            continue;
        }
        if (!collector.add(url, keywords, options))
            return tooMany(result, error);
    }
    return true;
}

bool importPlainText(const QByteArray& bytes, const std::string& targetUrl,
                     const std::vector<EntryRow>& current, ImportResult& result, QString* error) {
    result = ImportResult();
    QString message;
    if (!checkTargetUrl(targetUrl, &message)) {
        if (error)
            *error = message;
        return false;
    }
    Collector collector(current, result);
    std::string_view data = view(bytes);
    if (data.substr(0, kBom.size()) == kBom)
        data.remove_prefix(kBom.size());
    size_t pos = 0;
    while (pos < data.size()) {
        size_t end = data.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = data.size();
        const std::string_view keywords = trimBlanks(data.substr(pos, end - pos));
        if (!keywords.empty() && !collector.add(targetUrl, keywords))
            return tooMany(result, error);
        // Blank lines are passed over, so CR LF may count as two line ends.
        pos = end + 1;
    }
    return true;
}

bool importFile(const QString& path, const std::string& targetUrl,
                const std::vector<EntryRow>& current, ImportResult& result, QString* error) {
    result = ImportResult();
    QByteArray bytes;
    if (!readImportFile(path, bytes, error))
        return false;
    if (!targetUrl.empty())
        return importPlainText(bytes, targetUrl, current, result, error);
    if (detectFormat(path, bytes) == ImportFormat::PlainText) {
        if (error)
            *error = QStringLiteral("\"%1\" holds one keyword phrase per line: its entries need "
                                    "a target URL.")
                         .arg(datafile::DisplayPath(path));
        return false;
    }
    return importCsv(bytes, current, result, error);
}

DataFileImport importIntoDataFile(datafile::CDataFileSession& session, const QString& importPath,
                                  const std::string& targetUrl, ImportResult& result,
                                  QString* error) {
    result = ImportResult();
    std::vector<EntryRow> list;
    if (!session.Load(list, error))
        return DataFileImport::DataFileError;
    if (!importFile(importPath, targetUrl, list, result, error))
        return DataFileImport::ImportFileError;
    if (result.added == 0)
        return DataFileImport::Done;
    appendRows(list, std::move(result.rows));
    result.rows.clear();
    if (!session.Save(list, error))
        return DataFileImport::DataFileError;
    return DataFileImport::Done;
}

void appendRows(std::vector<EntryRow>& list, std::vector<EntryRow> rows) {
    const size_t first = list.size();
    list.reserve(first + rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i].cells[ColNumber] = std::to_string(first + i + 1);
        list.push_back(std::move(rows[i]));
    }
}

} // namespace tw::exchange
