#include "cli/CliSources.h"

#include "base/Engines.h"
#include "sources/Providers.h"

#include <QRegularExpression>
#include <QUrl>

namespace cli {

namespace {

const QString kSource = QStringLiteral("source");
const QString kProviderUrl = QStringLiteral("provider-url");
const QString kCountry = QStringLiteral("country");
const QString kLanguage = QStringLiteral("language");
const QString kPause = QStringLiteral("pause");
const QString kParallel = QStringLiteral("parallel");
const QString kMaxCalls = QStringLiteral("max-calls");
const QString kEstimate = QStringLiteral("estimate");

constexpr int kMaxPauseMs = 60000;

const tw::sources::Provider kProviders[] = {
    tw::sources::Provider::Serper, tw::sources::Provider::SerpApi,
    tw::sources::Provider::DataForSeo, tw::sources::Provider::Brave,
    tw::sources::Provider::Searxng};

std::optional<tw::sources::Provider> ProviderNamed(const QString& name) {
    for (tw::sources::Provider p : kProviders) {
        if (name.compare(QLatin1String(tw::sources::providerName(p)), Qt::CaseInsensitive) == 0)
            return p;
    }
    return std::nullopt;
}

// Where the command finds what the provider needs, for a message when it is missing; empty
// when nothing is missing. The window's text points to its dialog only, while a scheduled run
// is set up in its environment as often.
QString MissingCredentialHint(tw::sources::Provider provider,
                              const tw::sources::ProviderConfig& config) {
    using tw::sources::Provider;
    const tw::sources::Credentials& k = config.keys;
    const auto hint = [](const QString& environment, const QString& values) {
        return QStringLiteral("set %1 in the environment, or %2 (the window's Settings, Sources)")
            .arg(environment, values);
    };
    const auto one = [&](const char* variable, const char* value) {
        return hint(QLatin1String(variable),
                    QStringLiteral("the settings value %1").arg(QLatin1String(value)));
    };
    switch (provider) {
    case Provider::Serper:
        return k.serperKey.empty() ? one(tw::sources::kEnvSerperKey, "SerperKey") : QString();
    case Provider::SerpApi:
        return k.serpapiKey.empty() ? one(tw::sources::kEnvSerpapiKey, "SerpapiKey") : QString();
    case Provider::Brave:
        return k.braveKey.empty() ? one(tw::sources::kEnvBraveKey, "BraveKey") : QString();
    case Provider::DataForSeo:
        if (!k.dataforseoLogin.empty() && !k.dataforseoPassword.empty())
            return {};
        return hint(QStringLiteral("%1 and %2")
                        .arg(QLatin1String(tw::sources::kEnvDataforseoLogin),
                             QLatin1String(tw::sources::kEnvDataforseoPassword)),
                    QStringLiteral("the settings values DataforseoLogin and DataforseoPassword"));
    case Provider::Searxng:
        if (!config.searxngUrl.empty())
            return {};
        return QStringLiteral("give --provider-url searxng=URL, or the settings value SearxngUrl "
                              "(the window's Settings, Sources)");
    case Provider::Classic:
        break;
    }
    return {};
}

} // namespace

void AddSourceOptions(QCommandLineParser& parser) {
    parser.addOptions({
        {kSource,
         QStringLiteral("Where a column's results come from, e.g. %1=serpapi:bing: classic (the "
                        "engine's own pages) or PROVIDER:ENGINE, PROVIDER one of serper, serpapi, "
                        "dataforseo, brave, searxng; repeatable (default: the saved source).")
             .arg(QLatin1String(engines::All()[1].key)),
         QStringLiteral("SLOT=SOURCE")},
        {kProviderUrl,
         QStringLiteral("Address of a provider's service, e.g. serpapi=http://127.0.0.1:8080 (for "
                        "searxng: the instance's address); repeatable."),
         QStringLiteral("PROVIDER=URL")},
        {kCountry, QStringLiteral("Country of the results, two letters (default: saved, us)."),
         QStringLiteral("CC")},
        {kLanguage, QStringLiteral("Language of the results, two letters (default: saved, en)."),
         QStringLiteral("LL")},
        {kPause,
         QStringLiteral("Random pause before each request to one host, in milliseconds, "
                        "e.g. 500-2000 (default: the saved range)."),
         QStringLiteral("MIN-MAX")},
        {kParallel,
         QStringLiteral("Calls in flight at once to one provider, 1 to %1, e.g. serper=20; "
                        "repeatable (default: the saved setting). As many entries must be ranked "
                        "at once (--threads) to reach it.")
             .arg(tw::sources::kMaxParallel),
         QStringLiteral("PROVIDER=N")},
        {kMaxCalls,
         QStringLiteral("Send at most N result-service calls in this run; scans that would need "
                        "more keep their old results, and the exit status is 5 (default: the "
                        "saved MaxCallsPerRun, none when empty)."),
         QStringLiteral("N")},
        {kEstimate, QStringLiteral("Print the most and the fewest calls the run can take per "
                                   "result service, and rank nothing.")},
    });
}

bool ReadSourceOptions(const QCommandLineParser& parser, SourceOptions& out, QString* error) {
    const auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    for (const QString& value : parser.values(kSource)) {
        const qsizetype eq = value.indexOf('=');
        const int slot = eq > 0 ? engines::FromKey(value.left(eq).trimmed().toStdString()) : -1;
        if (slot < 0)
            return fail(QStringLiteral("Bad --source '%1': give SLOT=SOURCE with SLOT one of %2, "
                                       "e.g. %3=serpapi:bing.")
                            .arg(value, QString::fromStdString(engines::KeyList(", ", " or ")),
                                 QLatin1String(engines::All()[1].key)));
        tw::sources::Source source;
        QString reason;
        if (!tw::sources::parseSource(value.mid(eq + 1), &source, &reason))
            return fail(QStringLiteral("Bad --source '%1': %2.").arg(value, reason));
        out.sources[slot] = source;
    }
    for (const QString& value : parser.values(kProviderUrl)) {
        const qsizetype eq = value.indexOf('=');
        const auto provider = eq > 0 ? ProviderNamed(value.left(eq).trimmed()) : std::nullopt;
        if (!provider)
            return fail(QStringLiteral("Bad --provider-url '%1': give PROVIDER=URL with PROVIDER "
                                       "one of serper, serpapi, dataforseo, brave or searxng.")
                            .arg(value));
        const QString address = value.mid(eq + 1).trimmed();
        const QUrl url(address, QUrl::StrictMode);
        if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https") ||
            url.host().isEmpty() || url.hasQuery())
            return fail(QStringLiteral("Bad --provider-url '%1': the address must be http:// or "
                                       "https:// with a host, e.g. http://127.0.0.1:8080.")
                            .arg(value));
        out.providerUrls.emplace_back(*provider, address.toStdString());
    }
    static const QRegularExpression twoLetters(QStringLiteral("^[A-Za-z]{2}$"));
    if (parser.isSet(kCountry)) {
        const QString cc = parser.value(kCountry).trimmed();
        if (!twoLetters.match(cc).hasMatch())
            return fail(QStringLiteral("Bad --country '%1': give a two-letter country code, "
                                       "e.g. us or de.")
                            .arg(parser.value(kCountry)));
        out.country = cc.toLower().toStdString();
    }
    if (parser.isSet(kLanguage)) {
        const QString ll = parser.value(kLanguage).trimmed();
        if (!twoLetters.match(ll).hasMatch())
            return fail(QStringLiteral("Bad --language '%1': give a two-letter language code, "
                                       "e.g. en or de.")
                            .arg(parser.value(kLanguage)));
        out.language = ll.toLower().toStdString();
    }
    if (parser.isSet(kPause)) {
        static const QRegularExpression range(QStringLiteral("^([0-9]{1,6})-([0-9]{1,6})$"));
        const QRegularExpressionMatch m = range.match(parser.value(kPause).trimmed());
        const int lo = m.hasMatch() ? m.captured(1).toInt() : -1;
        const int hi = m.hasMatch() ? m.captured(2).toInt() : -1;
        if (!m.hasMatch() || lo > hi || hi > kMaxPauseMs)
            return fail(QStringLiteral("Bad --pause '%1': give MIN-MAX in milliseconds, MIN no "
                                       "more than MAX, MAX at most %2, e.g. 500-2000.")
                            .arg(parser.value(kPause))
                            .arg(kMaxPauseMs));
        out.pauseMs = std::make_pair(lo, hi);
    }
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    for (const QString& value : parser.values(kParallel)) {
        const qsizetype eq = value.indexOf('=');
        const auto provider = eq > 0 ? ProviderNamed(value.left(eq).trimmed()) : std::nullopt;
        const QString count = eq > 0 ? value.mid(eq + 1).trimmed() : QString();
        const int n = digits.match(count).hasMatch() ? count.toInt() : 0;
        if (!provider || n < 1 || n > tw::sources::kMaxParallel)
            return fail(QStringLiteral("Bad --parallel '%1': give PROVIDER=N with PROVIDER one "
                                       "of serper, serpapi, dataforseo, brave or searxng and N "
                                       "from 1 to %2, e.g. serper=20.")
                            .arg(value)
                            .arg(tw::sources::kMaxParallel));
        out.parallel.emplace_back(*provider, n);
    }
    if (parser.isSet(kMaxCalls)) {
        const QString count = parser.value(kMaxCalls).trimmed();
        if (!digits.match(count).hasMatch() || count.toLong() < 1)
            return fail(QStringLiteral("Bad --max-calls '%1': give a number of calls from 1.")
                            .arg(parser.value(kMaxCalls)));
        out.maxCalls = count.toLong();
    }
    out.estimate = parser.isSet(kEstimate);
    return true;
}

bool ApplySourceOptions(const SourceOptions& options, const std::array<bool, kEngineCount>& slotOn,
                        tw::sources::SourceSettings* sources, QString* error) {
    for (int e = 0; e < kEngineCount; ++e) {
        if (options.sources[e])
            sources->columns[e] = *options.sources[e];
    }
    tw::sources::ProviderConfig& c = sources->config;
    for (const auto& [provider, url] : options.providerUrls) {
        switch (provider) {
        case tw::sources::Provider::Serper:
            c.serperUrl = url;
            break;
        case tw::sources::Provider::SerpApi:
            c.serpapiUrl = url;
            break;
        case tw::sources::Provider::DataForSeo:
            c.dataforseoUrl = url;
            break;
        case tw::sources::Provider::Brave:
            c.braveUrl = url;
            break;
        case tw::sources::Provider::Searxng:
            c.searxngUrl = url;
            break;
        case tw::sources::Provider::Classic:
            break;
        }
    }
    if (options.country)
        c.country = *options.country;
    if (options.language)
        c.language = *options.language;
    if (options.pauseMs) {
        sources->pauseMinMs = options.pauseMs->first;
        sources->pauseMaxMs = options.pauseMs->second;
    }
    for (const auto& [provider, n] : options.parallel)
        sources->pace[tw::sources::providerIndex(provider)].parallel = n;
    if (options.maxCalls)
        sources->maxCallsPerRun = *options.maxCalls;
    for (int e = 0; e < kEngineCount; ++e) {
        const tw::sources::Source& source = sources->columns[e];
        if (!slotOn[e] || source.isClassic())
            continue;
        // The first request is built here, so a key, login or address that is missing or wrong
        // stops the run before anything is fetched.
        tw::sources::HttpRequest request;
        QString reason;
        if (!tw::sources::buildRequest(source, c, {"tallowick", 1, 0, 1}, &request, &reason)) {
            if (const QString hint = MissingCredentialHint(source.provider, c); !hint.isEmpty()) {
                // The provider's own words up to where they point to the window's dialog.
                const qsizetype cut = reason.indexOf(QStringLiteral(": add it under"));
                if (cut >= 0)
                    reason.truncate(cut);
                reason += QStringLiteral(": ") + hint;
            }
            if (error)
                *error = QStringLiteral("The %1 column (%2) cannot be ranked: %3.")
                             .arg(QLatin1String(engines::Info(SearchEngine(e)).key),
                                  tw::sources::sourceText(source),
                                  QString::fromStdString(
                                      tw::sources::redactSecrets(reason.toStdString(), c.keys)));
            return false;
        }
    }
    return true;
}

} // namespace cli
