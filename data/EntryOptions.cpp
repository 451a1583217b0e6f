#include "data/EntryOptions.h"

#include "data/DataFile.h"

#include <QDir>
#include <QFileInfo>

#include <array>
#include <string_view>

namespace datafile {

namespace {

std::string lowerAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return s;
}

std::string trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return std::string(s);
}

bool twoLetters(const std::string& s) {
    if (s.size() != 2)
        return false;
    for (char c : s) {
        if (c < 'a' || c > 'z')
            return false;
    }
    return true;
}

const std::array<const char*, 7> kHeader = {"url",    "keywords", "country", "language",
                                            "device", "location", "tags"};

// RFC 4180 records. A quote that never closes is damage, not a field running to the end of
// the file: what follows it cannot be trusted to belong to the rows it seems to.
class Records {
public:
    explicit Records(const QByteArray& bytes) : m_data(bytes.constData(), size_t(bytes.size())) {
        if (m_data.starts_with("\xEF\xBB\xBF"))
            m_pos = 3;
    }

    // False at the end; *damaged set when a quote never closes.
    bool next(std::vector<std::string>& fields, bool* damaged) {
        fields.clear();
        if (m_pos >= m_data.size())
            return false;
        m_recordLine = m_line;
        std::string field;
        for (;;) {
            if (m_pos < m_data.size() && m_data[m_pos] == '"') {
                ++m_pos;
                for (;;) {
                    if (m_pos >= m_data.size()) {
                        *damaged = true;
                        return false;
                    }
                    const char c = m_data[m_pos++];
                    if (c == '"') {
                        if (m_pos < m_data.size() && m_data[m_pos] == '"') {
                            field += '"';
                            ++m_pos;
                            continue;
                        }
                        break;
                    }
                    if (c == '\n')
                        ++m_line;
                    field += c;
                }
            }
            while (m_pos < m_data.size() && m_data[m_pos] != ',' && m_data[m_pos] != '\r' &&
                   m_data[m_pos] != '\n')
                field += m_data[m_pos++];
            fields.push_back(std::move(field));
            field.clear();
            if (m_pos >= m_data.size())
                return true;
            const char c = m_data[m_pos++];
            if (c == ',')
                continue;
            if (c == '\r' && m_pos < m_data.size() && m_data[m_pos] == '\n')
                ++m_pos;
            ++m_line;
            return true;
        }
    }

    int recordLine() const { return m_recordLine; }

private:
    std::string_view m_data;
    size_t m_pos = 0;
    int m_line = 1;
    int m_recordLine = 1;
};

void appendField(QByteArray& out, const std::string& field) {
    const bool quote = field.find_first_of(",;\"\r\n") != std::string::npos ||
                       (!field.empty() && (field.front() == ' ' || field.back() == ' '));
    if (!quote) {
        out.append(field.data(), qsizetype(field.size()));
        return;
    }
    out.append('"');
    for (char c : field) {
        if (c == '"')
            out.append('"');
        out.append(c);
    }
    out.append('"');
}

} // namespace

EntryOptions effectiveOptions(const EntryOptions& own, const EntryDefaults& defaults) {
    EntryOptions out = own;
    if (out.country.empty())
        out.country = defaults.country;
    if (out.language.empty())
        out.language = defaults.language;
    if (out.device.empty())
        out.device = defaults.device.empty() ? std::string(kDesktop) : defaults.device;
    if (out.location.empty())
        out.location = defaults.location;
    return out;
}

std::vector<std::string> splitTags(const std::string& tags) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= tags.size()) {
        size_t end = tags.find(',', start);
        if (end == std::string::npos)
            end = tags.size();
        std::string tag = trimmed(std::string_view(tags).substr(start, end - start));
        if (!tag.empty())
            out.push_back(std::move(tag));
        start = end + 1;
    }
    return out;
}

bool hasTag(const std::string& tags, const std::string& tag) {
    const std::string wanted = lowerAscii(trimmed(tag));
    if (wanted.empty())
        return false;
    for (const std::string& t : splitTags(tags)) {
        if (lowerAscii(t) == wanted)
            return true;
    }
    return false;
}

std::string whereText(const EntryOptions& options) {
    std::string out;
    if (lowerAscii(options.device) == kMobile)
        out = kMobile;
    const std::string place = trimmed(options.location.substr(0, options.location.find(',')));
    if (!place.empty())
        out += (out.empty() ? "" : ", ") + place;
    return out;
}

bool normalizeOptions(EntryOptions& options, QString* error) {
    EntryOptions o = options;
    o.country = lowerAscii(trimmed(o.country));
    o.language = lowerAscii(trimmed(o.language));
    o.device = lowerAscii(trimmed(o.device));
    o.location = trimmed(o.location);
    o.tags = trimmed(o.tags);
    // The usual name of the United Kingdom's country code top-level domain.
    if (o.country == "uk")
        o.country = "gb";
    QString reason;
    if (!o.country.empty() && !twoLetters(o.country))
        reason = QStringLiteral("The country \"%1\" is not a two-letter code such as \"us\".")
                     .arg(QString::fromStdString(options.country));
    else if (!o.language.empty() && !twoLetters(o.language))
        reason = QStringLiteral("The language \"%1\" is not a two-letter code such as \"en\".")
                     .arg(QString::fromStdString(options.language));
    else if (!o.device.empty() && o.device != kDesktop && o.device != kMobile)
        reason = QStringLiteral("The device \"%1\" is neither \"desktop\" nor \"mobile\".")
                     .arg(QString::fromStdString(options.device));
    if (!reason.isEmpty()) {
        if (error)
            *error = reason;
        return false;
    }
    options = std::move(o);
    return true;
}

const std::vector<CodeName>& CountryCodes() {
    static const std::vector<CodeName> codes = {
        {"ar", "Argentina"},      {"au", "Australia"},     {"at", "Austria"},
        {"be", "Belgium"},        {"br", "Brazil"},        {"bg", "Bulgaria"},
        {"ca", "Canada"},         {"cl", "Chile"},         {"cn", "China"},
        {"co", "Colombia"},       {"cz", "Czechia"},       {"dk", "Denmark"},
        {"eg", "Egypt"},          {"fi", "Finland"},       {"fr", "France"},
        {"de", "Germany"},        {"gr", "Greece"},        {"hk", "Hong Kong"},
        {"hu", "Hungary"},        {"in", "India"},         {"id", "Indonesia"},
        {"ie", "Ireland"},        {"il", "Israel"},        {"it", "Italy"},
        {"jp", "Japan"},          {"my", "Malaysia"},      {"mx", "Mexico"},
        {"nl", "Netherlands"},    {"nz", "New Zealand"},   {"ng", "Nigeria"},
        {"no", "Norway"},         {"ph", "Philippines"},   {"pl", "Poland"},
        {"pt", "Portugal"},       {"ro", "Romania"},       {"sa", "Saudi Arabia"},
        {"sg", "Singapore"},      {"za", "South Africa"},  {"kr", "South Korea"},
        {"es", "Spain"},          {"se", "Sweden"},        {"ch", "Switzerland"},
        {"th", "Thailand"},       {"tr", "Turkey"},        {"ua", "Ukraine"},
        {"gb", "United Kingdom"}, {"us", "United States"}, {"vn", "Vietnam"},
    };
    return codes;
}

const std::vector<CodeName>& LanguageCodes() {
    static const std::vector<CodeName> codes = {
        {"ar", "Arabic"},    {"bg", "Bulgarian"},  {"zh", "Chinese"},    {"cs", "Czech"},
        {"da", "Danish"},    {"nl", "Dutch"},      {"en", "English"},    {"fi", "Finnish"},
        {"fr", "French"},    {"de", "German"},     {"el", "Greek"},      {"he", "Hebrew"},
        {"hi", "Hindi"},     {"hu", "Hungarian"},  {"id", "Indonesian"}, {"it", "Italian"},
        {"ja", "Japanese"},  {"ko", "Korean"},     {"ms", "Malay"},      {"no", "Norwegian"},
        {"pl", "Polish"},    {"pt", "Portuguese"}, {"ro", "Romanian"},   {"ru", "Russian"},
        {"es", "Spanish"},   {"sv", "Swedish"},    {"th", "Thai"},       {"tr", "Turkish"},
        {"uk", "Ukrainian"}, {"vi", "Vietnamese"},
    };
    return codes;
}

QString optionsPathFor(const QString& dataFilePath) {
    return BesidePath(dataFilePath, QStringLiteral(".entries.csv"));
}

bool ParseOptionsFile(const QByteArray& bytes, std::vector<OptionsRow>& rows, QString* error) {
    rows.clear();
    Records in(bytes);
    std::vector<std::string> fields;
    bool damaged = false;
    std::array<int, kHeader.size()> where;
    where.fill(-1);
    bool haveHeader = false;
    std::vector<OptionsRow> out;
    while (in.next(fields, &damaged)) {
        if (fields.size() == 1 && fields[0].empty())
            continue; // a blank line
        if (!haveHeader) {
            for (size_t i = 0; i < fields.size(); ++i) {
                const std::string name = lowerAscii(trimmed(fields[i]));
                for (size_t k = 0; k < kHeader.size(); ++k) {
                    if (name == kHeader[k] && where[k] < 0)
                        where[k] = int(i);
                }
            }
            if (where[0] < 0 || where[1] < 0) {
                if (error)
                    *error = QStringLiteral("its first line does not name the columns url and "
                                            "keywords");
                return false;
            }
            haveHeader = true;
            continue;
        }
        auto field = [&](size_t k) -> std::string {
            const int i = where[k];
            return i >= 0 && size_t(i) < fields.size() ? fields[size_t(i)] : std::string();
        };
        OptionsRow row;
        row.url = field(0);
        row.keywords = field(1);
        row.options = {field(2), field(3), field(4), field(5), field(6)};
        out.push_back(std::move(row));
    }
    if (damaged) {
        if (error)
            *error = QStringLiteral("a quote opened on line %1 never closes").arg(in.recordLine());
        return false;
    }
    rows = std::move(out);
    return true;
}

QByteArray FormatOptionsFile(const std::vector<OptionsRow>& rows) {
    QByteArray out;
    for (size_t k = 0; k < kHeader.size(); ++k) {
        if (k > 0)
            out.append(',');
        out.append(kHeader[k]);
    }
    out.append("\r\n");
    for (const OptionsRow& row : rows) {
        const EntryOptions& o = row.options;
        const std::string* fields[] = {&row.url,  &row.keywords, &o.country, &o.language,
                                       &o.device, &o.location,   &o.tags};
        bool first = true;
        for (const std::string* f : fields) {
            if (!first)
                out.append(',');
            first = false;
            appendField(out, *f);
        }
        out.append("\r\n");
    }
    return out;
}

} // namespace datafile
