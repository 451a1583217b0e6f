#include "sources/Source.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace tw::sources {

namespace {

struct ProviderRow {
    Provider provider;
    const char* name;
    const char* site;
    std::vector<std::string> engines;
};

const std::array<ProviderRow, 6>& providerTable() {
    static const std::array<ProviderRow, 6> rows = {{
        {Provider::Classic, "classic", "", {}},
        {Provider::Serper, "serper", "serper.dev", {"google"}},
        {Provider::SerpApi, "serpapi", "serpapi.com", {"google", "bing", "yahoo", "duckduckgo"}},
        {Provider::DataForSeo, "dataforseo", "dataforseo.com", {"google", "bing", "yahoo"}},
        {Provider::Brave, "brave", "the Brave Search API", {"brave"}},
        {Provider::Searxng,
         "searxng",
         "the SearXNG instance",
         {"google", "bing", "duckduckgo", "brave"}},
    }};
    return rows;
}

const ProviderRow& row(Provider p) {
    for (const ProviderRow& r : providerTable()) {
        if (r.provider == p)
            return r;
    }
    return providerTable()[0];
}

std::string lowerTrimmed(QString text) {
    return text.trimmed().toLower().toStdString();
}

// SearXNG engine names as its settings write them: letters, digits, blanks, "-", "_", ".".
bool isEngineName(const std::string& name) {
    if (name.empty() || name.size() > 64)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || c == '-' ||
               c == '_' || c == '.';
    });
}

} // namespace

const char* providerName(Provider provider) {
    return row(provider).name;
}

const char* providerSite(Provider provider) {
    return row(provider).site;
}

std::vector<std::string> providerEngines(Provider provider) {
    return row(provider).engines;
}

bool providerServes(Provider provider, std::string_view engine) {
    if (provider == Provider::Classic)
        return false;
    if (provider == Provider::Searxng)
        return isEngineName(std::string(engine));
    const auto& engines = row(provider).engines;
    return std::find(engines.begin(), engines.end(), engine) != engines.end();
}

bool parseSource(const QString& text, Source* out, QString* error) {
    const std::string t = lowerTrimmed(text);
    if (t.empty() || t == "-" || t == "classic") {
        *out = Source{};
        return true;
    }
    const auto colon = t.find(':');
    if (colon == std::string::npos) {
        if (error)
            *error = QStringLiteral("\"%1\" is not a source: write classic or PROVIDER:ENGINE, "
                                    "for example serpapi:bing")
                         .arg(text.trimmed());
        return false;
    }
    const std::string name = lowerTrimmed(QString::fromStdString(t.substr(0, colon)));
    const std::string engine = lowerTrimmed(QString::fromStdString(t.substr(colon + 1)));
    for (const ProviderRow& r : providerTable()) {
        if (r.provider == Provider::Classic || name != r.name)
            continue;
        if (!providerServes(r.provider, engine)) {
            if (error) {
                QStringList served;
                for (const std::string& e : r.engines)
                    served << QString::fromStdString(e);
                *error = QStringLiteral("%1 does not serve the engine \"%2\" (it serves %3)")
                             .arg(QString::fromLatin1(r.name), QString::fromStdString(engine),
                                  served.join(QStringLiteral(", ")) +
                                      (r.provider == Provider::Searxng
                                           ? QStringLiteral(" and the instance's other engines")
                                           : QString()));
            }
            return false;
        }
        *out = Source{r.provider, engine};
        return true;
    }
    if (error)
        *error = QStringLiteral("unknown provider \"%1\": use serper, serpapi, dataforseo, brave "
                                "or searxng")
                     .arg(QString::fromStdString(name));
    return false;
}

QString sourceText(const Source& source) {
    if (source.isClassic())
        return QStringLiteral("classic");
    return QString::fromLatin1(providerName(source.provider)) + QLatin1Char(':') +
           QString::fromStdString(source.engine);
}

QString engineCaption(std::string_view engine) {
    static const std::array<std::pair<std::string_view, const char*>, 5> known = {{
        {"google", "Google"},
        {"bing", "Bing"},
        {"yahoo", "Yahoo"},
        {"duckduckgo", "DuckDuckGo"},
        {"brave", "Brave"},
    }};
    for (const auto& [name, caption] : known) {
        if (name == engine)
            return QString::fromLatin1(caption);
    }
    QString caption = QString::fromStdString(std::string(engine));
    if (!caption.isEmpty())
        caption[0] = caption[0].toUpper();
    return caption;
}

} // namespace tw::sources
