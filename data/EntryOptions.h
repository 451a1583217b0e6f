#pragma once
// What an entry may say about where and how it is ranked: country, language, device, location
// and tags. Empty means the list's default. They live beside the data file, in
// "<name>.entries.csv" (url,keywords,country,language,device,location,tags), so the six-line
// data file keeps its format for every other reader. Free of widgets.

#include <QString>

#include <string>
#include <vector>

namespace datafile {

struct EntryOptions {
    std::string country;  // two-letter code, "us"
    std::string language; // two-letter code, "en"
    std::string device;   // "desktop" or "mobile"
    std::string location; // a city or region as the providers name it, "Austin,Texas,United States"
    std::string tags;     // words separated by commas, as typed

    bool empty() const {
        return country.empty() && language.empty() && device.empty() && location.empty() &&
               tags.empty();
    }
    bool operator==(const EntryOptions&) const = default;
};

inline constexpr const char* kDesktop = "desktop";
inline constexpr const char* kMobile = "mobile";

// What an entry without an option of its own gets.
struct EntryDefaults {
    std::string country = "us";
    std::string language = "en";
    std::string device = kDesktop;
    std::string location;
};

// The options an entry is ranked with: its own, the defaults where it has none.
EntryOptions effectiveOptions(const EntryOptions& own, const EntryDefaults& defaults);

// The tags, blanks around each removed, empty ones dropped, in their order.
std::vector<std::string> splitTags(const std::string& tags);
// Whether tags holds tag (ASCII case ignored, blanks around it ignored).
bool hasTag(const std::string& tags, const std::string& tag);

// "mobile, Austin": the device when it is mobile, then the location's first part. Empty for a
// desktop entry without a location.
std::string whereText(const EntryOptions& options);

// Checks what a user or an import gives: country and language of two ASCII letters, device
// "desktop" or "mobile" (any empty). False with the reason in *error. Values are lowered in
// place (" US " -> "us", "Mobile" -> "mobile").
bool normalizeOptions(EntryOptions& options, QString* error);

// Codes the Add dialog offers, with their English names, by name; other two-letter codes may be
// typed.
struct CodeName {
    const char* code;
    const char* name;
};
const std::vector<CodeName>& CountryCodes();
const std::vector<CodeName>& LanguageCodes();

// "list.dat" -> "list.entries.csv" in the same folder.
QString optionsPathFor(const QString& dataFilePath);

// A row of the options file.
struct OptionsRow {
    std::string url;
    std::string keywords;
    EntryOptions options;
};

// Reads the options file's contents. False when they are damaged (a header without url and
// keywords, a quote that never closes), with the reason and its line in *error.
bool ParseOptionsFile(const QByteArray& bytes, std::vector<OptionsRow>& rows, QString* error);
// The file's contents: the header, then the rows.
QByteArray FormatOptionsFile(const std::vector<OptionsRow>& rows);

} // namespace datafile
