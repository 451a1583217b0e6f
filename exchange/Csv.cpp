#include "exchange/Csv.h"

namespace tw::exchange {
namespace {
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool isLineBreak(char c) {
    return c == '\n' || c == '\r';
}

bool isSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}
} // namespace

CsvReader::CsvReader(std::string_view data, char separator) : m_data(data) {
    if (m_data.substr(0, kBom.size()) == kBom)
        m_data.remove_prefix(kBom.size());
    m_separator = separator ? separator : detectSeparator(m_data);
}

char CsvReader::detectSeparator(std::string_view data) {
    if (data.substr(0, kBom.size()) == kBom)
        data.remove_prefix(kBom.size());
    size_t pos = 0;
    while (pos < data.size()) {
        size_t end = pos;
        while (end < data.size() && !isLineBreak(data[end]))
            ++end;
        int commas = 0;
        int semicolons = 0;
        bool quoted = false;
        bool blank = true;
        for (size_t i = pos; i < end; ++i) {
            const char c = data[i];
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && c == ',')
                ++commas;
            else if (!quoted && c == ';')
                ++semicolons;
            if (!isSpaceOrTab(c))
                blank = false;
        }
        if (!blank)
            return semicolons > commas ? ';' : ',';
        pos = end + 1;
    }
    return ',';
}

bool CsvReader::atLineEnd() const {
    return m_pos >= m_data.size() || isLineBreak(m_data[m_pos]);
}

void CsvReader::takeLineEnd() {
    if (m_pos >= m_data.size())
        return;
    if (m_data[m_pos] == '\r' && m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '\n')
        ++m_pos;
    ++m_pos;
    ++m_line;
}

void CsvReader::skipRestOfLine() {
    while (!atLineEnd())
        ++m_pos;
    takeLineEnd();
}

// At an opening quote. Reads up to and including the closing quote; on a quote that never
// closes, leaves the reader at the start of the line after the opening quote's.
bool CsvReader::readQuoted(std::string& field, int& unclosedLine) {
    const size_t open = m_pos;
    const int openLine = m_line;
    size_t pos = open + 1;
    int line = m_line;
    std::string text;
    while (pos < m_data.size()) {
        const char c = m_data[pos];
        if (c == '"') {
            if (pos + 1 < m_data.size() && m_data[pos + 1] == '"') {
                text += '"';
                pos += 2;
                continue;
            }
            field += text;
            m_pos = pos + 1;
            m_line = line;
            return true;
        }
        if (c == '\n' || (c == '\r' && (pos + 1 >= m_data.size() || m_data[pos + 1] != '\n')))
            ++line;
        text += c;
        ++pos;
    }
    // Reading on from the next line keeps this linear: a later field's opening quote follows a
    // separator, a blank or a line break, so its scan meets the quotes this one found doubled
    // out of step and closes at the first lone one.
    unclosedLine = openLine;
    m_pos = open + 1;
    skipRestOfLine();
    return false;
}

bool CsvReader::next(CsvRecord& record) {
    record.fields.clear();
    record.unclosedLine = 0;
    if (m_pos >= m_data.size())
        return false;
    record.line = m_line;
    std::string field;
    for (;;) {
        field.clear();
        size_t start = m_pos;
        while (start < m_data.size() && isSpaceOrTab(m_data[start]))
            ++start;
        if (start < m_data.size() && m_data[start] == '"') {
            m_pos = start;
            if (!readQuoted(field, record.unclosedLine)) {
                record.fields.push_back(std::move(field));
                return true;
            }
        }
        // Unquoted text, or what follows a closing quote.
        while (!atLineEnd() && m_data[m_pos] != m_separator)
            field += m_data[m_pos++];
        record.fields.push_back(field);
        if (atLineEnd()) {
            takeLineEnd();
            return true;
        }
        ++m_pos; // the separator
    }
}

void appendCsvField(std::string& out, std::string_view field) {
    const bool quote =
        field.find_first_of(",;\"\r\n") != std::string_view::npos ||
        (!field.empty() && (isSpaceOrTab(field.front()) || isSpaceOrTab(field.back())));
    if (!quote) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace tw::exchange
