#pragma once
// Comma-separated values (RFC 4180) as spreadsheets write them. Fields are bytes, kept as they
// are: UTF-8 or any other encoding passes through unchanged. Free of widgets.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tw::exchange {

struct CsvRecord {
    std::vector<std::string> fields;
    int line = 0; // physical line on which the record starts, from 1
    // Physical line of a quote that never closes (0 when the record is whole). The fields then
    // are incomplete; reading goes on with the line after the quote's.
    int unclosedLine = 0;
};

// Reads records one at a time. A UTF-8 byte order mark at the start is skipped. Lines end with
// CR LF, LF or a lone CR; a quoted field may hold separators, doubled quotes and line breaks.
// Leniencies that spreadsheets' output needs: blanks before an opening quote are ignored, a
// quote inside an unquoted field is an ordinary character, and characters after a closing
// quote are appended to the field.
class CsvReader {
public:
    // separator 0: ';' when the first non-blank line has more semicolons than commas outside
    // quotes, otherwise ','. data must outlive the reader.
    explicit CsvReader(std::string_view data, char separator = 0);

    char separator() const { return m_separator; }
    // The next record; false at the end of the data.
    bool next(CsvRecord& record);

    static char detectSeparator(std::string_view data);

private:
    bool atLineEnd() const;
    void takeLineEnd();
    bool readQuoted(std::string& field, int& unclosedLine);
    void skipRestOfLine();

    std::string_view m_data;
    size_t m_pos = 0;
    int m_line = 1;
    char m_separator = ',';
};

// field as one CSV field: quoted (quotes doubled) when it holds a comma, a semicolon, a quote,
// a line break or blanks at either end; as it is otherwise.
void appendCsvField(std::string& out, std::string_view field);

} // namespace tw::exchange
