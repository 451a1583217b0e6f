#include "base/Maker.h"
#include "base/PageFetcher.h"
#include "settings/RegistrySettings.h"
#include "sim/EngineSim.h"
#include "sim/SimServer.h"
#include "sources/ProviderScan.h"
#include "sources/Providers.h"
#include "sources/Source.h"
#include "sources/SourceSettings.h"
#include "support/TestEnv.h"

#include <nlohmann/json.hpp>

#include <QRegularExpression>

#include <atomic>
#include <memory>
#include <thread>

using namespace tw::sources;

Q_DECLARE_METATYPE(tw::sources::AnswerKind)

namespace {

const std::string kKey = "sk-Test-7f3a9c1e5b";
// As long as real keys are, for the messages cut near it.
const std::string kLongKey = "c0ffee4b1d9a7e35f2c8d6a0b4e9f1375d2a8c6e0f4b9d13a7c5e2f8b6d0a4c91";

// Whether text holds kMinSecretRun or more consecutive characters of secret, in any letter case.
bool holdsRunOf(const std::string& text, const std::string& secret) {
    const QString t = QString::fromStdString(text).toLower();
    const QString k = QString::fromStdString(secret).toLower();
    for (int i = 0; i + int(kMinSecretRun) <= k.size(); ++i) {
        if (t.contains(k.mid(i, int(kMinSecretRun))))
            return true;
    }
    return false;
}
const std::string kKeywords = "blue widgets";

Source sourceOf(const char* text) {
    Source s;
    QString error;
    if (!parseSource(QString::fromLatin1(text), &s, &error))
        qFatal("bad source in test: %s", qPrintable(error));
    return s;
}

// The simulator's result list a provider engine reads.
int simList(const Source& s) {
    if (s.engine == "google")
        return Google;
    return sim::EngineFromName(s.engine);
}

// A simulator with the result services, and a configuration pointing every provider at it.
struct Services {
    explicit Services(sim::ServerOptions options = {}, int results = 1000)
        : model(3, results), engines(model) {
        if (options.providers.apiKey.empty())
            options.providers.apiKey = kKey;
        m_options = std::move(options);
    }
    bool start() {
        server = std::make_unique<sim::CSimServer>(engines, m_options);
        std::string error;
        if (!server->Start(error)) {
            qWarning("%s", error.c_str());
            return false;
        }
        const std::string base = "http://" + server->HostPort();
        config.keys = {kKey, kKey, kKey, "login@example.org", kKey};
        config.serperUrl = config.serpapiUrl = config.dataforseoUrl = config.braveUrl = base;
        config.searxngUrl = base + "/";
        return true;
    }
    int calls() const { return int(server->Requests().size()); }

    sim::CResultModel model;
    sim::CEngineSim engines;
    sim::ServerOptions m_options;
    std::unique_ptr<sim::CSimServer> server;
    ProviderConfig config;
};

ScanResult scan(const Services& s, const Source& source, const std::string& target, int depth = 5,
                std::function<bool()> cancelled = {}) {
    ProviderScan scanner;
    scanner.m_cancelled = std::move(cancelled);
    scanner.m_retryDelaysMs = {1, 1}; // tried again as often as a run does, without the waits
    // Rate limits waited out as often as a run does, each wait cut to a few milliseconds.
    scanner.m_rateWaitFirstMs = 1;
    scanner.m_rateWaitMaxMs = 5;
    return scanner.run({target, kKeywords, depth, source, s.config});
}

// Answers HTTP 500 from its goodCalls-th call on.
class FailingAfter : public ProviderScan {
public:
    int goodCalls = 0;

protected:
    HttpAnswer send(const HttpRequest& request) override {
        if (m_sent++ < goodCalls)
            return ProviderScan::send(request);
        HttpAnswer a;
        a.answered = true;
        a.status = 500;
        a.body = "{}";
        return a;
    }

private:
    int m_sent = 0;
};

const char* const kAllSources[] = {"serper:google",   "serpapi:google",     "serpapi:bing",
                                   "serpapi:yahoo",   "serpapi:duckduckgo", "dataforseo:google",
                                   "dataforseo:bing", "dataforseo:yahoo",   "brave:brave",
                                   "searxng:google",  "searxng:duckduckgo"};

} // namespace

class TestSources : public QObject {
    Q_OBJECT
private slots:
    void parseSource_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("canonical"); // or a word of the error
        QTest::newRow("empty is classic") << "" << true << "classic";
        QTest::newRow("dash is classic") << "-" << true << "classic";
        QTest::newRow("classic") << " Classic " << true << "classic";
        QTest::newRow("serper") << "serper:google" << true << "serper:google";
        QTest::newRow("case and blanks") << " SerpApi : Bing " << true << "serpapi:bing";
        QTest::newRow("dataforseo yahoo") << "dataforseo:yahoo" << true << "dataforseo:yahoo";
        QTest::newRow("brave") << "brave:brave" << true << "brave:brave";
        QTest::newRow("searxng any engine") << "searxng:mojeek" << true << "searxng:mojeek";
        QTest::newRow("engine not served") << "serper:bing" << false << "does not serve";
        QTest::newRow("dataforseo ddg") << "dataforseo:duckduckgo" << false << "does not serve";
        QTest::newRow("serpapi brave") << "serpapi:brave" << false << "does not serve";
        QTest::newRow("unknown provider") << "bingapi:bing" << false << "unknown provider";
        QTest::newRow("no engine") << "serpapi" << false << "PROVIDER:ENGINE";
        QTest::newRow("empty engine") << "serpapi:" << false << "does not serve";
        QTest::newRow("searxng odd name") << "searxng:a/b" << false << "does not serve";
    }
    void parseSource() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, canonical);
        Source s{Provider::Brave, "kept"};
        QString error;
        QCOMPARE(tw::sources::parseSource(text, &s, &error), ok);
        if (ok) {
            QCOMPARE(sourceText(s), canonical);
            Source again;
            QVERIFY(tw::sources::parseSource(sourceText(s), &again, nullptr));
            QCOMPARE(again, s);
        } else {
            QVERIFY2(error.contains(canonical), qPrintable(error));
            QCOMPARE(s.engine, std::string("kept")); // untouched on failure
        }
    }

    void captions() {
        QCOMPARE(engineCaption("duckduckgo"), QStringLiteral("DuckDuckGo"));
        QCOMPARE(engineCaption("bing"), QStringLiteral("Bing"));
        QCOMPARE(engineCaption("mojeek"), QStringLiteral("Mojeek"));
    }

    // The documented request of each provider, page 3 of the results.
    void buildsDocumentedRequests_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("headerOrBody"); // a part the request must carry
        QTest::newRow("serper") << "serper:google"
                                << "POST"
                                << "https://google.serper.dev/search"
                                << "X-API-KEY: " + QString::fromStdString(kKey);
        QTest::newRow("serpapi google")
            << "serpapi:google"
            << "GET"
            << "https://serpapi.com/search.json?engine=google&q=blue%20widgets&gl=de&hl=fr&"
               "start=20&api_key=" +
                   QString::fromStdString(kKey)
            << "Accept: application/json";
        QTest::newRow("serpapi bing")
            << "serpapi:bing"
            << "GET"
            << "https://serpapi.com/search.json?engine=bing&q=blue%20widgets&cc=DE&count=10&"
               "first=21&api_key=" +
                   QString::fromStdString(kKey)
            << "Accept: application/json";
        QTest::newRow("serpapi yahoo")
            << "serpapi:yahoo"
            << "GET"
            << "https://serpapi.com/search.json?engine=yahoo&p=blue%20widgets&vc=de&vl=lang_fr&"
               "b=21&api_key=" +
                   QString::fromStdString(kKey)
            << "Accept: application/json";
        QTest::newRow("serpapi duckduckgo (offset of what came)")
            << "serpapi:duckduckgo"
            << "GET"
            << "https://serpapi.com/search.json?engine=duckduckgo&q=blue%20widgets&kl=de-de&"
               "start=27&api_key=" +
                   QString::fromStdString(kKey)
            << "Accept: application/json";
        QTest::newRow("dataforseo")
            << "dataforseo:bing"
            << "POST"
            << "https://api.dataforseo.com/v3/serp/bing/organic/live/regular"
            << "\"location_code\":2276";
        QTest::newRow("brave") << "brave:brave"
                               << "GET"
                               << "https://api.search.brave.com/res/v1/web/search?q=blue%20widgets&"
                                  "count=20&offset=2&country=DE&search_lang=fr"
                               << "X-Subscription-Token: " + QString::fromStdString(kKey);
        QTest::newRow("searxng under a path")
            << "searxng:google"
            << "GET"
            << "https://searx.example/sx/search?q=blue%20widgets&format=json&pageno=3&"
               "engines=google&language=fr"
            << "Accept: application/json";
    }
    void buildsDocumentedRequests() {
        QFETCH(QString, source);
        QFETCH(QString, method);
        QFETCH(QString, url);
        QFETCH(QString, headerOrBody);
        ProviderConfig c;
        c.keys = {kKey, kKey, kKey, "me", kKey};
        c.country = "DE";
        c.language = "fr";
        c.searxngUrl = "https://searx.example/sx/";
        HttpRequest r;
        QString error;
        QVERIFY2(buildRequest(sourceOf(qPrintable(source)), c, {kKeywords, 3, 27, 5}, &r, &error),
                 qPrintable(error));
        QCOMPARE(QString::fromStdString(r.method), method);
        QCOMPARE(QString::fromStdString(r.url), url);
        QString all = QString::fromStdString(r.body);
        for (const std::string& h : r.headers)
            all += QString::fromStdString("\n" + h);
        QVERIFY2(all.contains(headerOrBody), qPrintable(all));
    }

    // The settings' country and language in each provider's own codes, and what is said when a
    // provider does not take them.
    void providerCodes_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("country");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("part"); // of the request's address
        QTest::addColumn<QString>("notice");
        QTest::newRow("brave japanese") << "brave:brave"
                                        << "jp"
                                        << "ja"
                                        << "&country=JP&search_lang=jp"
                                        << "";
        QTest::newRow("brave chinese") << "brave:brave"
                                       << "cn"
                                       << "zh"
                                       << "&search_lang=zh-hans"
                                       << "";
        QTest::newRow("brave portuguese") << "brave:brave"
                                          << "br"
                                          << "pt"
                                          << "&country=BR&search_lang=pt-br"
                                          << "";
        QTest::newRow("brave norwegian") << "brave:brave"
                                         << "no"
                                         << "no"
                                         << "&country=NO&search_lang=nb"
                                         << "";
        QTest::newRow("brave united kingdom") << "brave:brave"
                                              << "uk"
                                              << "en"
                                              << "&country=GB&"
                                              << "";
        QTest::newRow("brave country it does not list")
            << "brave:brave"
            << "ie"
            << "en"
            << "&country=ALL&search_lang=en"
            << "the Brave Search API does not take the country \"ie\"";
        QTest::newRow("duckduckgo united kingdom") << "serpapi:duckduckgo"
                                                   << "gb"
                                                   << "en"
                                                   << "&kl=uk-en&"
                                                   << "";
        QTest::newRow("duckduckgo japan") << "serpapi:duckduckgo"
                                          << "jp"
                                          << "ja"
                                          << "&kl=jp-jp&"
                                          << "";
        QTest::newRow("duckduckgo korea") << "serpapi:duckduckgo"
                                          << "kr"
                                          << "en"
                                          << "&kl=kr-kr&"
                                          << "";
        QTest::newRow("duckduckgo canada in french") << "serpapi:duckduckgo"
                                                     << "ca"
                                                     << "fr"
                                                     << "&kl=ca-fr&"
                                                     << "";
        QTest::newRow("duckduckgo no region") << "serpapi:duckduckgo"
                                              << "zz"
                                              << "en"
                                              << "&kl=wt-wt&"
                                              << "DuckDuckGo lists no region";
        QTest::newRow("yahoo united kingdom") << "serpapi:yahoo"
                                              << "gb"
                                              << "en"
                                              << "&vc=uk&"
                                              << "";
    }
    void providerCodes() {
        QFETCH(QString, source);
        QFETCH(QString, country);
        QFETCH(QString, language);
        QFETCH(QString, part);
        QFETCH(QString, notice);
        ProviderConfig c;
        c.keys = {kKey, kKey, kKey, "me", kKey};
        c.country = country.toStdString();
        c.language = language.toStdString();
        HttpRequest r;
        QString error;
        QVERIFY2(buildRequest(sourceOf(qPrintable(source)), c, {kKeywords, 1, 0, 1}, &r, &error),
                 qPrintable(error));
        QVERIFY2(QString::fromStdString(r.url).contains(part), r.url.c_str());
        if (notice.isEmpty())
            QVERIFY2(r.notice.empty(), r.notice.c_str());
        else
            QVERIFY2(QString::fromStdString(r.notice).startsWith(notice), r.notice.c_str());
    }

    void requestBodies() {
        ProviderConfig c;
        c.keys = {kKey, kKey, kKey, "me", "pw-secret"};
        HttpRequest r;
        QVERIFY(buildRequest(sourceOf("serper:google"), c, {"a \"quoted\" word", 2, 0, 5}, &r,
                             nullptr));
        const auto serper = nlohmann::json::parse(r.body);
        QCOMPARE(serper["q"].get<std::string>(), std::string("a \"quoted\" word"));
        QCOMPARE(serper["page"].get<int>(), 2);
        QCOMPARE(serper["num"].get<int>(), 10);
        QCOMPARE(serper["gl"].get<std::string>(), std::string("us"));
        QCOMPARE(serper["hl"].get<std::string>(), std::string("en"));

        // The whole depth in one call, kept within what the live endpoint takes.
        QVERIFY(buildRequest(sourceOf("dataforseo:google"), c, {kKeywords, 1, 0, 50}, &r, nullptr));
        const auto task = nlohmann::json::parse(r.body).at(0);
        QCOMPARE(task["depth"].get<int>(), kDataForSeoMaxDepth);
        QCOMPARE(task["location_code"].get<int>(), 2840);
        QCOMPARE(task["language_code"].get<std::string>(), std::string("en"));
        QVERIFY(r.basicAuth);
        QCOMPARE(r.user, std::string("me"));
        QCOMPARE(r.password, std::string("pw-secret"));
    }

    void configProblems_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("setting"); // emptied or set to a bad value
        QTest::addColumn<QString>("message");
        QTest::newRow("serper key") << "serper:google"
                                    << "serperKey"
                                    << "no key for serper.dev: add it under Settings, Sources";
        QTest::newRow("serpapi key") << "serpapi:bing"
                                     << "serpapiKey"
                                     << "no key for serpapi.com: add it under Settings, Sources";
        QTest::newRow("brave key") << "brave:brave"
                                   << "braveKey"
                                   << "no key for the Brave";
        QTest::newRow("dataforseo login") << "dataforseo:google"
                                          << "dataforseoLogin"
                                          << "no login and password for dataforseo.com";
        QTest::newRow("searxng address") << "searxng:google"
                                         << "searxngUrl"
                                         << "no address for the SearXNG instance";
        QTest::newRow("dataforseo country") << "dataforseo:google"
                                            << "country"
                                            << "not one Tallowick knows";
        QTest::newRow("bad override") << "serper:google"
                                      << "serperUrl"
                                      << "the SerperUrl setting";
    }
    void configProblems() {
        QFETCH(QString, source);
        QFETCH(QString, setting);
        QFETCH(QString, message);
        ProviderConfig c;
        c.keys = {kKey, kKey, kKey, "me", kKey};
        c.searxngUrl = "http://searx.example";
        if (setting == "serperKey")
            c.keys.serperKey.clear();
        else if (setting == "serpapiKey")
            c.keys.serpapiKey.clear();
        else if (setting == "braveKey")
            c.keys.braveKey.clear();
        else if (setting == "dataforseoLogin")
            c.keys.dataforseoLogin.clear();
        else if (setting == "searxngUrl")
            c.searxngUrl.clear();
        else if (setting == "country")
            c.country = "zz";
        else if (setting == "serperUrl")
            c.serperUrl = "ftp://127.0.0.1:9";
        HttpRequest r;
        QString error;
        QVERIFY(!buildRequest(sourceOf(qPrintable(source)), c, {kKeywords, 1, 0, 5}, &r, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY(!error.contains(QString::fromStdString(kKey)));
    }

    // What an answer says, for the shapes the simulator does not give.
    void readsAnswers_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<AnswerKind>("kind");
        QTest::addColumn<QString>("expect"); // urls joined by blanks, or a part of the message
        QTest::newRow("serper links, odd ones skipped")
            << "serper:google" << 200
            << QByteArray("{\"organic\":[{\"link\":\"https://a.example/\"},{\"title\":\"no link\"},"
                          "{\"link\":\"ftp://b.example/\"},{\"link\":42},{\"link\":\"HTTP://"
                          "c.example\"}]}")
            << AnswerKind::Results << "https://a.example/ HTTP://c.example";
        QTest::newRow("serper message")
            << "serper:google" << 400 << QByteArray("{\"message\":\"Query is too long.\"}")
            << AnswerKind::ProviderError << "serper.dev answered: Query is too long.";
        QTest::newRow("serpapi own error")
            << "serpapi:google" << 200 << QByteArray("{\"error\":\"Unsupported location.\"}")
            << AnswerKind::ProviderError << "serpapi.com answered: Unsupported location.";
        QTest::newRow("serpapi end of results")
            << "serpapi:bing" << 200
            << QByteArray("{\"error\":\"Bing hasn't returned any results for this query.\"}")
            << AnswerKind::Results << "";
        QTest::newRow("dataforseo top status")
            << "dataforseo:google" << 200
            << QByteArray("{\"status_code\":40200,\"status_message\":\"Payment Required.\"}")
            << AnswerKind::ProviderError << "dataforseo.com answered: Payment Required.";
        QTest::newRow("dataforseo task status")
            << "dataforseo:google" << 200
            << QByteArray("{\"status_code\":20000,\"tasks\":[{\"status_code\":40501,"
                          "\"status_message\":\"Invalid Field: 'depth'.\"}]}")
            << AnswerKind::ProviderError << "Invalid Field: 'depth'.";
        QTest::newRow("dataforseo no items")
            << "dataforseo:google" << 200
            << QByteArray("{\"status_code\":20000,\"tasks\":[{\"status_code\":20000,"
                          "\"result\":[{\"items\":null}]}]}")
            << AnswerKind::Results << "";
        QTest::newRow("brave invalid token as 422")
            << "brave:brave" << 422
            << QByteArray("{\"type\":\"ErrorResponse\",\"error\":{\"code\":\"SUBSCRIPTION_TOKEN_"
                          "INVALID\"}}")
            << AnswerKind::KeyRefused << "the key was refused by";
        QTest::newRow("brave no web results")
            << "brave:brave" << 200 << QByteArray("{\"type\":\"search\",\"query\":{}}")
            << AnswerKind::Results << "";
        QTest::newRow("searxng engine down")
            << "searxng:google" << 200
            << QByteArray("{\"results\":[],\"unresponsive_engines\":[[\"google\",\"CAPTCHA\"]]}")
            << AnswerKind::ProviderError << "the engine google did not answer: CAPTCHA";
        QTest::newRow("searxng 403")
            << "searxng:google" << 403 << QByteArray("Forbidden") << AnswerKind::KeyRefused
            << "enable json under search: formats in the instance's "
               "settings.yml";
        QTest::newRow("html instead of json")
            << "serpapi:google" << 200 << QByteArray("<html><body>hi</body></html>")
            << AnswerKind::BadFormat
            << "serpapi.com answered something that is not its "
               "result format";
        QTest::newRow("json of another shape") << "searxng:google" << 200 << QByteArray("[1,2,3]")
                                               << AnswerKind::BadFormat << "not its result format";
        QTest::newRow("nested too deep") << "serper:google" << 200 << QByteArray(100000, '[')
                                         << AnswerKind::BadFormat << "not its result format";
        QTest::newRow("server error")
            << "brave:brave" << 502 << QByteArray("Bad gateway") << AnswerKind::HttpError
            << "the Brave Search API answered HTTP 502";
        QTest::newRow("not found")
            << "searxng:google" << 404 << QByteArray("<html>") << AnswerKind::HttpError
            << "the SearXNG instance answered HTTP 404";
        QTest::newRow("larger than 4 MiB")
            << "serper:google" << 200 << QByteArray(int(kMaxAnswerBytes) + 1, ' ')
            << AnswerKind::BadFormat << "serper.dev sent an answer larger than 4 MiB";
        QTest::newRow("brave error as a string")
            << "brave:brave" << 400
            << QByteArray("{\"type\":\"ErrorResponse\",\"error\":\"Invalid count.\"}")
            << AnswerKind::ProviderError << "the Brave Search API answered: Invalid count.";
        // A key given twice counts with its last value, not both.
        QTest::newRow("doubled list")
            << "searxng:google" << 200
            << QByteArray("{\"results\":[{\"url\":\"http://decoy.example/\"}],\"results\":"
                          "[{\"url\":\"http://a.example/\"}]}")
            << AnswerKind::Results << "http://a.example/";
        QTest::newRow("doubled list, then not a list")
            << "searxng:google" << 200
            << QByteArray("{\"results\":[{\"url\":\"http://decoy.example/\"}],\"results\":7}")
            << AnswerKind::BadFormat << "not its result format";
        QTest::newRow("doubled error object")
            << "brave:brave" << 400
            << QByteArray("{\"type\":\"ErrorResponse\",\"error\":{\"code\":\"SUBSCRIPTION_"
                          "TOKEN_INVALID\"},\"error\":{\"detail\":\"Too many values.\"}}")
            << AnswerKind::ProviderError << "answered: Too many values.";
        QTest::newRow("doubled address in a result")
            << "serper:google" << 200
            << QByteArray("{\"organic\":[{\"link\":\"http://a.example/\",\"link\":null},"
                          "{\"link\":\"http://b.example/\"}]}")
            << AnswerKind::Results << "http://b.example/";
        QTest::newRow("payment required")
            << "serper:google" << 402 << QByteArray("{}") << AnswerKind::QuotaUsed
            << "the serper.dev account has no credits left (HTTP 402)";
        QTest::newRow("serper no credits")
            << "serper:google" << 400
            << QByteArray("{\"message\":\"Not enough credits\",\"statusCode\":400}")
            << AnswerKind::QuotaUsed << "serper.dev answered: Not enough credits";
        QTest::newRow("serper too many")
            << "serper:google" << 429
            << QByteArray("{\"message\":\"Too many requests.\",\"statusCode\":429}")
            << AnswerKind::RateLimited << "quota or rate limit reached at serper.dev";
        // The answers of the providers' documentation.
        QTest::newRow("dataforseo no search results")
            << "dataforseo:google" << 200
            << QByteArray("{\"status_code\":20000,\"status_message\":\"Ok.\",\"tasks\":[{"
                          "\"status_code\":40102,\"status_message\":\"No Search Results.\","
                          "\"result\":null}]}")
            << AnswerKind::Results << "";
        QTest::newRow("dataforseo no funds")
            << "dataforseo:google" << 402
            << QByteArray("{\"status_code\":40200,\"status_message\":\"Payment Required.\"}")
            << AnswerKind::QuotaUsed << "the DataForSEO account has no funds";
        QTest::newRow("serpapi out of searches")
            << "serpapi:google" << 429
            << QByteArray("{\"error\":\"Your account has run out of searches.\"}")
            << AnswerKind::QuotaUsed
            << "serpapi.com answered: Your account has run out of searches.";
        QTest::newRow("serpapi throughput")
            << "serpapi:google" << 429
            << QByteArray("{\"error\":\"You have exceeded the hourly throughput limit.\"}")
            << AnswerKind::RateLimited << "quota or rate limit reached at serpapi.com";
        QTest::newRow("brave rate limited")
            << "brave:brave" << 429
            << QByteArray("{\"type\":\"ErrorResponse\",\"error\":{\"code\":\"RATE_LIMITED\","
                          "\"detail\":\"Request rate limit exceeded for plan.\"}}")
            << AnswerKind::RateLimited << "quota or rate limit reached at the Brave Search API";
        QTest::newRow("brave quota")
            << "brave:brave" << 429
            << QByteArray("{\"type\":\"ErrorResponse\",\"error\":{\"code\":\"QUOTA_LIMITED\","
                          "\"detail\":\"Request quota limit exceeded for plan.\"}}")
            << AnswerKind::QuotaUsed
            << "the Brave Search API answered: Request quota limit exceeded for plan.";
        QTest::newRow("brave error text")
            << "brave:brave" << 400 << QByteArray("{\"error\":\"Invalid query.\"}")
            << AnswerKind::ProviderError << "the Brave Search API answered: Invalid query.";
        QTest::newRow("brave error message")
            << "brave:brave" << 400
            << QByteArray("{\"type\":\"ErrorResponse\",\"error\":{\"message\":\"Bad offset.\"}}")
            << AnswerKind::ProviderError << "the Brave Search API answered: Bad offset.";
        QTest::newRow("brave errors list")
            << "brave:brave" << 422
            << QByteArray("{\"errors\":[{\"loc\":[\"query\",\"country\"],\"detail\":"
                          "\"Input should be a listed country.\"}]}")
            << AnswerKind::ProviderError
            << "the Brave Search API answered: Input should be a listed country.";
        QTest::newRow("searxng other engines only")
            << "searxng:brave" << 200
            << QByteArray("{\"results\":[{\"url\":\"https://a.example/\",\"engine\":\"google\","
                          "\"engines\":[\"google\",\"bing\"]}],\"unresponsive_engines\":[]}")
            << AnswerKind::ProviderError
            << "the SearXNG instance has no engine brave (enable it in settings.yml)";
        QTest::newRow("searxng asked engine among others")
            << "searxng:bing" << 200
            << QByteArray("{\"results\":[{\"url\":\"https://a.example/\",\"engine\":\"google\"},"
                          "{\"url\":\"https://b.example/\",\"engine\":\"google\","
                          "\"engines\":[\"google\",\"bing\"]},{\"url\":\"https://c.example/\"}]}")
            << AnswerKind::Results << "https://b.example/ https://c.example/";
    }
    void readsAnswers() {
        QFETCH(QString, source);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(AnswerKind, kind);
        QFETCH(QString, expect);
        const PageAnswer a = readAnswer(sourceOf(qPrintable(source)), status,
                                        std::string_view(body.data(), body.size()));
        QCOMPARE(int(a.kind), int(kind));
        // Only what may pass is tried again.
        QCOMPARE(a.retryable(), kind == AnswerKind::BadFormat || kind == AnswerKind::RateLimited ||
                                    (kind == AnswerKind::HttpError && status >= 500));
        if (kind == AnswerKind::Results) {
            QStringList urls;
            for (const std::string& u : a.urls)
                urls << QString::fromStdString(u);
            QCOMPARE(urls.join(' '), expect);
        } else {
            QVERIFY2(QString::fromStdString(a.error).contains(expect), a.error.c_str());
        }
    }

    void redaction() {
        Credentials k{kKey, "serpapi-secret-1", "brave+secret/2", "login", "pw-secret-3"};
        const std::string url = "https://serpapi.com/search.json?engine=bing&q=x&api_key=other&z=1";
        QCOMPARE(redactSecrets(url, k),
                 std::string(
                     "https://serpapi.com/search.json?engine=bing&q=x&api_key=\xE2\x80\xA6&z=1"));
        const std::string text =
            "key " + kKey + ", " + encodeQueryValue("brave+secret/2") + " and pw-secret-3 end";
        const std::string r = redactSecrets(text, k);
        QVERIFY(r.find(kKey) == std::string::npos);
        QVERIFY(r.find("brave") == std::string::npos);
        QVERIFY(r.find("pw-secret-3") == std::string::npos);
        QVERIFY(r.find("end") != std::string::npos);
    }

    // Each form a key may come back in is cut out, and only keys.
    void redactionForms_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expect");
        const QString key = QString::fromStdString(kLongKey);
        QTest::newRow("as sent") << "a " + key + " b"
                                 << "a \u2026 b";
        QTest::newRow("lower case") << "a " + key.toLower() + " b"
                                    << "a \u2026 b";
        QTest::newRow("upper case") << "a " + key.toUpper() + " b"
                                    << "a \u2026 b";
        QTest::newRow("eight characters of it") << "[" + key.mid(30, 8) + "]"
                                                << "[\u2026]";
        QTest::newRow("seven are left") << "[" + key.mid(30, 7) + "]"
                                        << "[" + key.mid(30, 7) + "]";
        QTest::newRow("cut short by the provider") << "..." + key.left(20) << "...\u2026";
        QTest::newRow("basic credentials")
            << "Authorization: Basic " +
                   QString::fromLatin1(
                       QByteArray("login@example.org:" + QByteArray::fromStdString(kLongKey))
                           .toBase64())
            << "Authorization: Basic \u2026";
        QTest::newRow("api_key in capitals") << "x?API_KEY=abc&y=1"
                                             << "x?API_KEY=\u2026&y=1";
        QTest::newRow("ordinary words") << "Invalid API key, see the manual."
                                        << "Invalid API key, see the manual.";
    }
    void redactionForms() {
        QFETCH(QString, text);
        QFETCH(QString, expect);
        const Credentials k{kLongKey, kLongKey, kLongKey, "login@example.org", kLongKey};
        QCOMPARE(QString::fromStdString(redactSecrets(text.toStdString(), k)), expect);
    }

    // A provider's error that echoes the key, anywhere in a long message: nothing of it reaches
    // the error a run shows, records and prints, however the message is cut.
    void echoedKeyNeverShown_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("offset");
        using H = sim::ProviderOptions::Hostile;
        for (const char* s :
             {"serper:google", "serpapi:google", "dataforseo:google", "brave:brave"}) {
            for (int offset : {0, 240, 280, 296, 299, 300, 5000}) {
                QTest::addRow("%s at %d", s, offset) << s << int(H::EchoKey) << offset;
                QTest::addRow("%s lower case at %d", s, offset)
                    << s << int(H::EchoKeyLower) << offset;
            }
        }
        for (int offset : {0, 280, 296})
            QTest::addRow("dataforseo basic at %d", offset)
                << "dataforseo:google" << int(H::EchoBasic) << offset;
    }
    void echoedKeyNeverShown() {
        QFETCH(QString, source);
        QFETCH(int, mode);
        QFETCH(int, offset);
        sim::ServerOptions options;
        options.providers.apiKey = kLongKey;
        options.providers.hostile = sim::ProviderOptions::Hostile(mode);
        options.providers.echoOffset = offset;
        Services s(options);
        QVERIFY(s.start());
        s.config.keys = {kLongKey, kLongKey, kLongKey, "login@example.org", kLongKey};
        const ScanResult r = scan(s, sourceOf(qPrintable(source)), "target-site.example");
        QCOMPARE(r.text, std::string("error"));
        QVERIFY2(r.error.find(" answered: ") != std::string::npos, r.error.c_str());
        const std::string basic =
            QByteArray("login@example.org:" + QByteArray::fromStdString(kLongKey))
                .toBase64()
                .toStdString();
        for (const std::string& shown : {r.error, r.lastUrl}) {
            QVERIFY2(!holdsRunOf(shown, kLongKey), shown.c_str());
            QVERIFY2(!holdsRunOf(shown, basic), shown.c_str());
        }
        QVERIFY(QString::fromStdString(r.error).size() <= int(kMaxMessageChars) + 3);
    }

    // The target is looked for in each result's host and path, and a result holding no full
    // host is never inside the target.
    void foreignResultsDoNotMatch_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QString>("target");
        for (const char* s : kAllSources) {
            QTest::addRow("%s target in a query", s)
                << s << "http://evil.example/?q=www.target-site.example"
                << "www.target-site.example";
            QTest::addRow("%s result inside the target", s)
                << s << "http://w"
                << "http://www.target-site.example/shop/";
        }
    }
    void foreignResultsDoNotMatch() {
        QFETCH(QString, source);
        QFETCH(QString, planted);
        QFETCH(QString, target);
        Services s;
        const Source src = sourceOf(qPrintable(source));
        s.model.AddPlant(simList(src), 2, planted.toStdString(), kKeywords);
        // A bare site inside the target still counts.
        s.model.AddPlant(simList(src), 5, "http://www.target-site.example/", kKeywords);
        QVERIFY(s.start());
        const ScanResult r = scan(s, src, target.toStdString());
        QVERIFY2(r.ok, r.error.c_str());
        QCOMPARE(r.rank, 5);
        QCOMPARE(r.sitesAbove[1], planted.toStdString());
    }

    // Answers that lie: for another query, or with their lists given twice.
    void answersThatLie_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("rank"); // 0: an error
        QTest::addColumn<int>("calls");
        using H = sim::ProviderOptions::Hostile;
        for (const char* s : {"serper:google", "serpapi:google", "serpapi:bing", "serpapi:yahoo",
                              "serpapi:duckduckgo"})
            QTest::addRow("%s another query", s) << s << int(H::OtherQuery) << 0 << 1;
        for (const char* s : kAllSources) {
            QTest::addRow("%s doubled keys", s)
                << s << int(H::DoubledKeys) << 14
                << (QByteArray(s).startsWith("dataforseo") || QByteArray(s).startsWith("brave")
                        ? 1
                        : 2);
            QTest::addRow("%s redirect", s) << s << int(H::Redirect) << 0 << 3;
        }
    }
    void answersThatLie() {
        QFETCH(QString, source);
        QFETCH(int, mode);
        QFETCH(int, rank);
        QFETCH(int, calls);
        sim::ServerOptions options;
        options.providers.hostile = sim::ProviderOptions::Hostile(mode);
        Services s(options);
        const Source src = sourceOf(qPrintable(source));
        s.model.AddPlant(simList(src), 14, "http://www.target-site.example/", kKeywords);
        QVERIFY(s.start());
        const ScanResult r = scan(s, src, "target-site.example");
        QCOMPARE(s.calls(), calls);
        if (rank == 0) {
            QCOMPARE(r.text, std::string("error"));
            if (mode == int(sim::ProviderOptions::Hostile::OtherQuery))
                QCOMPARE(r.error, s.server->HostPort() + " answered for another query");
            return;
        }
        QVERIFY2(r.ok, r.error.c_str());
        QCOMPARE(r.rank, rank);
        for (const std::string& above : r.sitesAbove)
            QVERIFY2(above.find("decoy") == std::string::npos, above.c_str());
    }

    // Every provider, against the simulator: the target's rank and page over several pages,
    // and the sites above it in the provider's order, its ads and side entries left out.
    void ranksOverSeveralPages_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("rank");
        for (const char* s : kAllSources) {
            QTest::addRow("%s rank 27", s) << s << 27;
            QTest::addRow("%s rank 1", s) << s << 1;
        }
    }
    void ranksOverSeveralPages() {
        QFETCH(QString, source);
        QFETCH(int, rank);
        Services s;
        const Source src = sourceOf(qPrintable(source));
        s.model.AddPlant(simList(src), rank, "http://www.Target-Site.example/shop/", kKeywords);
        QVERIFY(s.start());
        const ScanResult r = scan(s, src, "target-site.example");
        QVERIFY2(r.ok, r.error.c_str());
        QCOMPARE(r.rank, rank);
        QCOMPARE(r.page, (rank - 1) / 10 + 1);
        QCOMPARE(QString::fromStdString(r.text),
                 QStringLiteral("Rank %1 / Page %2").arg(rank).arg((rank - 1) / 10 + 1));
        QCOMPARE(int(r.sitesAbove.size()), rank - 1);
        for (int n = 1; n < rank; ++n)
            QCOMPARE(r.sitesAbove[n - 1],
                     s.model.ResultUrl(SearchEngine(simList(src)), kKeywords, n));
        const int expectedCalls = src.provider == Provider::DataForSeo ? 1
                                  : src.provider == Provider::Brave
                                      ? (rank - 1) / kBravePageSize + 1
                                      : (rank - 1) / 10 + 1;
        QCOMPARE(s.calls(), expectedCalls);
        QCOMPARE(r.requests, expectedCalls);
    }

    void notFoundWithinDepth_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("results"); // the simulator's list length
        QTest::addColumn<int>("calls");
        QTest::addColumn<int>("above");
        // Brave's pages are of twenty.
        const auto pages = [](const char* s) {
            return QByteArray(s).startsWith("dataforseo") ? 1
                   : QByteArray(s).startsWith("brave")    ? 2
                                                          : 3;
        };
        for (const char* s : kAllSources)
            QTest::addRow("%s full depth", s) << s << 1000 << pages(s) << 30;
        // A list that ends before the depth: the end is "not found", not a failure.
        for (const char* s : kAllSources)
            // (the last page, empty, tells the end)
            QTest::addRow("%s short list", s) << s << 14 << pages(s) << 14;
    }
    void notFoundWithinDepth() {
        QFETCH(QString, source);
        QFETCH(int, results);
        QFETCH(int, calls);
        QFETCH(int, above);
        Services s({}, results);
        const Source src = sourceOf(qPrintable(source));
        // Beyond the depth of three pages: not looked at.
        s.model.AddPlant(simList(src), 31, "http://www.target-site.example/", kKeywords);
        QVERIFY(s.start());
        const ScanResult r = scan(s, src, "target-site.example", 3);
        QVERIFY2(r.ok, r.error.c_str());
        QCOMPARE(r.text, std::string("not found"));
        QCOMPARE(r.rank, 0);
        QCOMPARE(r.page, 0);
        QCOMPARE(int(r.sitesAbove.size()), above);
        QCOMPARE(s.calls(), calls);
    }

    // Every provider keeps the results it counted, in order, in pages of ten, with the matched
    // address: stopping at the target, read on to the depth (the further pages billed), not
    // found, and ended by a failing page (what came before it, partial).
    void keptResults_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("scan");
        for (const char* s : kAllSources) {
            for (const char* scan : {"found", "whole depth", "not found", "error"})
                QTest::addRow("%s %s", s, scan) << s << scan;
        }
    }
    void keptResults() {
        QFETCH(QString, source);
        QFETCH(QString, scan);
        const Source src = sourceOf(qPrintable(source));
        const bool oneCall = src.provider == Provider::DataForSeo;
        Services s;
        const std::string plant = "http://www.Target-Site.example/shop/";
        s.model.AddPlant(simList(src), 27, plant, kKeywords);
        QVERIFY(s.start());
        FailingAfter scanner;
        // The second call fails on every try; DataForSEO's whole depth is its first.
        scanner.goodCalls = scan != "error" ? 1000 : oneCall ? 0 : 1;
        scanner.m_retryDelaysMs = {1, 1};
        ScanInput input{scan == "not found" ? "elsewhere.example" : "target-site.example",
                        kKeywords, 5, src, s.config};
        input.readWholeDepth = scan == "whole depth";
        const ScanResult r = scanner.run(input);

        const int firstPage = src.provider == Provider::Brave ? kBravePageSize : 10;
        const int counted = scan == "found" ? 27 : scan == "error" ? (oneCall ? 0 : firstPage) : 50;
        std::vector<std::string> expected;
        for (int n = 1; n <= counted; ++n)
            expected.push_back(s.model.ResultUrl(SearchEngine(simList(src)), kKeywords, n));
        QVERIFY(r.results == expected);
        std::vector<int> sizes(std::size_t(counted / 10), 10);
        if (counted % 10)
            sizes.push_back(counted % 10);
        QVERIFY(r.pageSizes == sizes);
        QCOMPARE(r.resultsPartial, scan == "error");
        if (scan == "found" || scan == "whole depth") {
            QVERIFY2(r.ok, r.error.c_str());
            QCOMPARE(r.rank, 27);
            QCOMPARE(r.page, 3);
            QCOMPARE(r.rankingUrl, plant);
            QCOMPARE(int(r.sitesAbove.size()), 26);
        } else {
            QCOMPARE(r.ok, scan == "not found");
            QCOMPARE(r.rank, 0);
            QVERIFY(r.rankingUrl.empty());
        }
        // Read to the depth, every page of it is a billed call.
        if (scan == "whole depth")
            QCOMPARE(r.calls, mostCallsPerScan(src.provider, 5));
    }

    // Each failure ends in "error" with its words; refused keys are not asked again; no key
    // shows in any text.
    void failures_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("calls");
        QTest::addColumn<QString>("message");
        const QMap<QString, QString> site = {{"serper", "serper.dev"},
                                             {"serpapi", "serpapi.com"},
                                             {"dataforseo", "dataforseo.com"},
                                             {"brave", "the Brave Search API"},
                                             {"searxng", "the SearXNG instance"}};
        for (const char* s : kAllSources) {
            const QString provider = QString::fromLatin1(s).section(':', 0, 0);
            // The address is the simulator's, and messages name the address asked.
            const QString where = provider == "searxng" ? site[provider] : "%HOST%";
            if (provider != "searxng") {
                QTest::addRow("%s wrong key", s)
                    << s << "wrong key" << 1
                    << (provider == "dataforseo" ? "the login or password was refused by " + where
                                                 : "the key was refused by " + where);
                QTest::addRow("%s missing key", s)
                    << s << "missing key" << 0
                    << (provider == "dataforseo" ? "no login and password for " + site[provider]
                                                 : "no key for " + site[provider]) +
                           ": add it under Settings, Sources";
            } else {
                QTest::addRow("%s json not enabled", s)
                    << s << "403" << 1
                    << "the SearXNG instance does not answer in JSON: enable json under "
                       "search: formats in the instance's settings.yml";
            }
            // A used-up account is not asked again; an instance of one's own only limits the
            // rate, which is waited out ten times before the page fails.
            const QMap<QString, QString> usedUp = {
                {"serper", "%HOST% answered: Not enough credits"},
                {"serpapi", "%HOST% answered: Your account has run out of searches."},
                {"dataforseo", "the DataForSEO account has no funds"},
                {"brave", "%HOST% answered: Request quota limit exceeded for plan."},
                {"searxng", "quota or rate limit reached at the SearXNG instance"}};
            QTest::addRow("%s quota", s)
                << s << "quota" << (provider == "searxng" ? 11 : 1) << usedUp[provider];
            QTest::addRow("%s not json", s)
                << s << "not json" << 3
                << where + " answered something that is not its result format";
            QTest::addRow("%s server error", s) << s << "500" << 3 << where + " answered HTTP 500";
        }
    }
    void failures() {
        QFETCH(QString, source);
        QFETCH(QString, fault);
        QFETCH(int, calls);
        QFETCH(QString, message);
        sim::ServerOptions options;
        if (fault == "quota")
            options.providers.quota = 0;
        else if (fault == "not json")
            options.statusScript = {200, 200, 200};
        else if (fault == "500")
            options.statusScript = {500, 500, 500};
        else if (fault == "403")
            options.statusScript = {403, 403, 403};
        Services s(options);
        QVERIFY(s.start());
        if (fault == "wrong key")
            s.config.keys = {"wrong-key-123", "wrong-key-123", "wrong-key-123", "me",
                             "wrong-key-123"};
        if (fault == "missing key")
            s.config.keys = {};
        const ScanResult r = scan(s, sourceOf(qPrintable(source)), "target-site.example");
        QVERIFY(!r.ok);
        QVERIFY(!r.cancelled);
        QCOMPARE(r.text, std::string("error"));
        QCOMPARE(QString::fromStdString(r.error),
                 QString(message).replace("%HOST%", QString::fromStdString(s.server->HostPort())));
        QCOMPARE(s.calls(), calls);
        for (const std::string& shown : {r.error, r.lastUrl, r.text}) {
            QVERIFY2(shown.find(kKey) == std::string::npos, shown.c_str());
            QVERIFY2(shown.find("wrong-key-123") == std::string::npos, shown.c_str());
        }
        if (r.lastUrl.find("api_key=") != std::string::npos)
            QVERIFY(r.lastUrl.ends_with("api_key=\xE2\x80\xA6"));
    }

    // A page that fails once is asked again, and the scan goes on as if nothing happened.
    void failedPageIsTriedAgain() {
        sim::ServerOptions options;
        options.statusScript = {503, sim::kDropped};
        Services s(options);
        s.model.AddPlant(Google, 4, "http://www.target-site.example/", kKeywords);
        QVERIFY(s.start());
        const ScanResult r = scan(s, sourceOf("serper:google"), "target-site.example");
        QVERIFY2(r.ok, r.error.c_str());
        QCOMPARE(r.rank, 4);
        QCOMPARE(r.requests, 1);
        QCOMPARE(s.calls(), 3);
    }

    // A call turned away as too many is sent again after the wait, without counting as a failed
    // try; the billed calls are the answered ones. Every call turned away: the page fails after
    // ten waits, and is not tried again on top.
    void rateLimitIsWaitedOut_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("every"); // the simulator's 429 to every Nth call
        QTest::addColumn<int>("calls"); // seen by the simulator
        QTest::addColumn<int>("billed");
        QTest::addColumn<QString>("error");
        QTest::newRow("serper every second call") << "serper:google" << 2 << 5 << 3 << "";
        QTest::newRow("brave every second call") << "brave:brave" << 2 << 3 << 2 << "";
        QTest::newRow("dataforseo every call")
            << "dataforseo:google" << 1 << 11 << 0 << "quota or rate limit reached at %HOST%";
        QTest::newRow("serpapi every call")
            << "serpapi:bing" << 1 << 11 << 0 << "quota or rate limit reached at %HOST%";
    }
    void rateLimitIsWaitedOut() {
        QFETCH(QString, source);
        QFETCH(int, every);
        QFETCH(int, calls);
        QFETCH(int, billed);
        QFETCH(QString, error);
        sim::ServerOptions options;
        options.providers.rateLimitEvery = every;
        Services s(options);
        QVERIFY(s.start());
        const ScanResult r = scan(s, sourceOf(qPrintable(source)), "target-site.example", 3);
        QCOMPARE(s.calls(), calls);
        QCOMPARE(r.calls, billed);
        QCOMPARE(s.server->BilledCalls(), billed);
        if (error.isEmpty()) {
            QVERIFY2(r.ok, r.error.c_str());
            QCOMPARE(r.text, std::string("not found"));
        } else {
            QCOMPARE(r.text, std::string("error"));
            QCOMPARE(
                QString::fromStdString(r.error),
                QString(error).replace("%HOST%", QString::fromStdString(s.server->HostPort())));
        }
    }

    // Scans on many threads never have more calls of a service in flight than its limit, the
    // simulator counting (it turns away any call beyond the limit); the billed calls are counted
    // alike on both sides, and a budget stops new calls at exactly its count.
    void gatesKeepTheLimitAndTheBudget_data() {
        QTest::addColumn<int>("parallel");
        QTest::addColumn<long>("budget");
        QTest::newRow("three at once") << 3 << 0L;
        QTest::newRow("one at once") << 1 << 0L;
        QTest::newRow("budget of seven") << 4 << 7L;
    }
    void gatesKeepTheLimitAndTheBudget() {
        QFETCH(int, parallel);
        QFETCH(long, budget);
        sim::ServerOptions options;
        options.providers.maxParallel = parallel;
        options.providers.latencyMs = 20;
        options.keepAlive = true;
        Services s(options);
        QVERIFY(s.start());
        auto paces = SourceSettings::defaultPaces();
        paces[providerIndex(Provider::Serper)] = {parallel, 0.0};
        ServiceGates gates(paces, budget);
        constexpr int kScans = 8;
        std::vector<ScanResult> results(kScans);
        std::vector<std::thread> threads;
        for (int i = 0; i < kScans; ++i) {
            threads.emplace_back([&, i] {
                ProviderScan scanner;
                scanner.m_gates = &gates;
                scanner.m_retryDelaysMs = {1, 1};
                results[i] = scanner.run(
                    {"target-site.example", kKeywords, 2, sourceOf("serper:google"), s.config});
            });
        }
        for (std::thread& t : threads)
            t.join();
        QVERIFY(s.server->MostCallsInFlight() <= parallel);
        QVERIFY(gates.mostInFlight(Provider::Serper) <= parallel);
        int billed = 0;
        int cut = 0;
        for (const ScanResult& r : results) {
            billed += r.calls;
            cut += r.overBudget ? 1 : 0;
            QVERIFY(r.ok || r.overBudget);
        }
        const int expected = budget > 0 ? int(budget) : kScans * 2;
        QCOMPARE(s.calls(), expected); // not one call turned away
        QCOMPARE(s.server->BilledCalls(), expected);
        QCOMPARE(billed, expected);
        QCOMPARE(gates.calls(Provider::Serper), expected);
        QCOMPARE(int(gates.sent()), expected);
        QCOMPARE(gates.budgetReached(), budget > 0);
        QCOMPARE(cut > 0, budget > 0);
    }

    // A used-up quota closes the service for the rest of the run: the next scans read "error"
    // with the provider's words and send nothing.
    void usedUpQuotaClosesTheService() {
        sim::ServerOptions options;
        options.providers.quota = 1;
        Services s(options);
        QVERIFY(s.start());
        ServiceGates gates(SourceSettings::defaultPaces(), 0);
        const auto scanOnce = [&] {
            ProviderScan scanner;
            scanner.m_gates = &gates;
            return scanner.run(
                {"target-site.example", kKeywords, 3, sourceOf("serpapi:google"), s.config});
        };
        const ScanResult first = scanOnce();
        const ScanResult second = scanOnce();
        QCOMPARE(s.calls(), 2); // one answered, one refused; nothing after
        for (const ScanResult& r : {first, second}) {
            QCOMPARE(r.text, std::string("error"));
            QCOMPARE(r.error,
                     s.server->HostPort() + " answered: Your account has run out of searches.");
        }
        QCOMPARE(first.calls, 1);
        QCOMPARE(second.requests, 1);
    }

    // What the Sources dialog's Test shows: one page's addresses, or the error in words.
    void askOnePage() {
        Services s;
        QVERIFY(s.start());
        ProviderScan scanner;
        const auto page =
            scanner.askPage(sourceOf("serpapi:yahoo"), s.config, {kKeywords, 1, 0, 1});
        QVERIFY2(page.ok, page.error.c_str());
        QCOMPARE(int(page.urls.size()), 10);
        QCOMPARE(page.urls[0], s.model.ResultUrl(SearchEngine(sim::kSimYahoo), kKeywords, 1));
        QVERIFY(page.url.ends_with("api_key=\xE2\x80\xA6"));

        s.config.keys.braveKey = "refused-key-1";
        const auto refused =
            scanner.askPage(sourceOf("brave:brave"), s.config, {kKeywords, 1, 0, 1});
        QVERIFY(!refused.ok);
        QCOMPARE(refused.error, "the key was refused by " + s.server->HostPort());
    }

    void noServerIsAnError() {
        Services s;
        QVERIFY(s.start());
        s.server->Stop();
        const ScanResult r = scan(s, sourceOf("brave:brave"), "target-site.example");
        QCOMPARE(r.text, std::string("error"));
        QVERIFY2(r.error.starts_with("no answer from " + s.server->HostPort()), r.error.c_str());
    }

    void cancelStopsTheScan() {
        Services s;
        QVERIFY(s.start());
        std::atomic<int> asked{0};
        // Cancelled once the first page is in: no second page is asked for.
        const ScanResult r = scan(s, sourceOf("serpapi:google"), "target-site.example", 5,
                                  [&] { return ++asked > 2; });
        QVERIFY(r.cancelled);
        QVERIFY(!r.ok);
        QVERIFY(r.text.empty());
        QCOMPARE(s.calls(), 1);
    }

    // Brave pages by twenty, no further than its offset allows: 200 results in ten calls.
    void bravePagesWithinItsOffset_data() {
        QTest::addColumn<int>("rank");
        QTest::addColumn<int>("depth");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("calls");
        QTest::newRow("rank 105") << 105 << 20 << "Rank 105 / Page 11" << 6;
        QTest::newRow("rank 200") << 200 << 20 << "Rank 200 / Page 20" << 10;
        QTest::newRow("beyond the offset") << 205 << 30 << "not found" << kBraveMaxPages;
        QTest::newRow("depth of three pages") << 31 << 3 << "not found" << 2;
    }
    void bravePagesWithinItsOffset() {
        QFETCH(int, rank);
        QFETCH(int, depth);
        QFETCH(QString, text);
        QFETCH(int, calls);
        Services s;
        s.model.AddPlant(sim::kSimBrave, rank, "http://www.target-site.example/", kKeywords);
        QVERIFY(s.start());
        const ScanResult r = scan(s, sourceOf("brave:brave"), "target-site.example", depth);
        QVERIFY2(r.ok, r.error.c_str());
        QCOMPARE(QString::fromStdString(r.text), text);
        QCOMPARE(s.calls(), calls);
        QCOMPARE(mostCallsPerScan(Provider::Brave, depth),
                 std::min(kBraveMaxPages, (depth + 1) / 2));
    }

    void settingsAndEnvironment() {
        CRegistrySettings store;
        const auto write = [&](const char* name, const std::string& value) {
            QVERIFY(store.WriteString(maker::kProduct, name, value));
        };
        write("GoogleSource", "serper:google");
        write("AltavistaSource", "serpapi:bing");
        write("LycosSource", "nonsense:x");
        write("LooksmartSource", "-");
        write("SerperKey", "stored-serper");
        write("SerpapiKey", "stored-serpapi");
        write("SearxngUrl", "http://127.0.0.1:8888");
        write("Country", "gb");
        write("PauseMinMs", "500");
        write("PauseMaxMs", "100");
        write("SerpapiUrl", "http://127.0.0.1:9999");
        QStringList problems;
        SourceSettings s = readSourceSettings(&problems);
        QCOMPARE(sourceText(s.columns[Google]), QStringLiteral("serper:google"));
        QCOMPARE(sourceText(s.columns[AltaVista]), QStringLiteral("serpapi:bing"));
        QVERIFY(s.columns[Lycos].isClassic());
        QVERIFY(s.columns[LookSmart].isClassic());
        QCOMPARE(problems.size(), 1);
        QVERIFY(problems[0].startsWith("LycosSource: "));
        QCOMPARE(s.config.keys.serperKey, std::string("stored-serper"));
        QCOMPARE(s.config.country, std::string("gb"));
        QCOMPARE(s.config.language, std::string("en")); // the default
        QCOMPARE(s.config.searxngUrl, std::string("http://127.0.0.1:8888"));
        QCOMPARE(s.config.serpapiUrl, std::string("http://127.0.0.1:9999"));
        QCOMPARE(s.pauseMinMs, 500);
        QCOMPARE(s.pauseMaxMs, 500); // never below the minimum

        const std::map<std::string, const char*> env = {{kEnvSerperKey, "env-serper"},
                                                        {kEnvSerpapiKey, ""},
                                                        {kEnvDataforseoPassword, "env-pw"}};
        applyEnvironmentKeys(&s.config.keys, [&](const char* name) -> const char* {
            const auto it = env.find(name);
            return it == env.end() ? nullptr : it->second;
        });
        QCOMPARE(s.config.keys.serperKey, std::string("env-serper"));
        QCOMPARE(s.config.keys.serpapiKey, std::string("stored-serpapi")); // empty does not win
        QCOMPARE(s.config.keys.dataforseoPassword, std::string("env-pw"));
    }

    // Each service's calls at once and rate, and the run's budget, as the store holds them: a
    // value not stored is the provider's default, a bad one is the default with a problem said.
    void paceSettings_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("parallel"); // of the provider named
        QTest::addColumn<double>("perSecond");
        QTest::addColumn<bool>("problem");
        QTest::newRow("serper default") << "Serper"
                                        << "" << 5 << 0.0 << false;
        QTest::newRow("dataforseo default") << "Dataforseo"
                                            << "" << 10 << 0.0 << false;
        QTest::newRow("brave default: its free plan") << "Brave"
                                                      << "" << 1 << 1.0 << false;
        QTest::newRow("searxng default") << "Searxng"
                                         << "" << 2 << 0.0 << false;
        QTest::newRow("serpapi twenty") << "Serpapi"
                                        << "20" << 20 << 0.0 << false;
        QTest::newRow("too many") << "Serper"
                                  << "65" << 5 << 0.0 << true;
        QTest::newRow("not a number") << "Serper"
                                      << "many" << 5 << 0.0 << true;
        QTest::newRow("brave rate none") << "Brave"
                                         << "r0" << 1 << 0.0 << false;
        QTest::newRow("brave rate half") << "Brave"
                                         << "r0.5" << 1 << 0.5 << false;
        QTest::newRow("bad rate") << "Brave"
                                  << "rfast" << 1 << 1.0 << true;
    }
    void paceSettings() {
        QFETCH(QString, name);
        QFETCH(QString, stored);
        QFETCH(int, parallel);
        QFETCH(double, perSecond);
        QFETCH(bool, problem);
        CRegistrySettings store;
        for (int i = 0; i < kProviderCount; ++i) {
            QVERIFY(store.WriteString(maker::kProduct, parallelSettingName(providerAt(i)), ""));
            QVERIFY(store.WriteString(maker::kProduct, perSecondSettingName(providerAt(i)), ""));
        }
        const bool rate = stored.startsWith('r');
        const std::string value = (rate ? stored.mid(1) : stored).toStdString();
        if (!stored.isEmpty())
            QVERIFY(store.WriteString(
                maker::kProduct, (name + (rate ? "PerSecond" : "Parallel")).toStdString(), value));
        QStringList problems;
        const SourceSettings s = readSourceSettings(&problems);
        const Provider p = name == "Serper"       ? Provider::Serper
                           : name == "Serpapi"    ? Provider::SerpApi
                           : name == "Dataforseo" ? Provider::DataForSeo
                           : name == "Brave"      ? Provider::Brave
                                                  : Provider::Searxng;
        QCOMPARE(s.pace[providerIndex(p)].parallel, parallel);
        QCOMPARE(s.pace[providerIndex(p)].perSecond, perSecond);
        // (an earlier test left a bad column source behind: only this provider's lines count)
        QCOMPARE(int(problems.filter(QRegularExpression("^" + name)).size()), problem ? 1 : 0);
        // What is stored reads back the same.
        SourceSettings changed = s;
        changed.maxCallsPerRun = 250;
        changed.pace[providerIndex(Provider::SerpApi)] = {17, 2.5};
        QVERIFY(writeSourceSettings(changed, nullptr));
        const SourceSettings back = readSourceSettings();
        QVERIFY(back.pace == changed.pace);
        QCOMPARE(back.maxCallsPerRun, 250L);
    }

    // The pause before a request is taken holding the server's turn, and cancel cuts it: an
    // hour's pause that were not cut would run past the test's time limit.
    void pauseIsCutByCancel() {
        Services s;
        QVERIFY(s.start());
        const FetchLimits saved = CPageFetcher::Limits();
        FetchLimits paced = saved;
        paced.pauseMinMs = paced.pauseMaxMs = 3600 * 1000;
        CPageFetcher::SetLimits(paced);
        std::atomic<bool> stop{false};
        std::thread cancelSoon([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            stop = true;
        });
        const ScanResult r = scan(s, sourceOf("serper:google"), "target-site.example", 1,
                                  [&] { return stop.load(); });
        cancelSoon.join();
        CPageFetcher::SetLimits(saved);
        QVERIFY(r.cancelled);
        QCOMPARE(s.calls(), 0);
    }
};

TW_TEST_MAIN_CORE(TestSources)
#include "test_sources.moc"
