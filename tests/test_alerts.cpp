// Alert rules at their boundaries, the rule file, and each channel against a local receiver: the
// webhook's body, the mail (through a small SMTP server of our own: a normal exchange, a server
// without STARTTLS, a refused login), and the desktop notification's text.
#include "alerts/AlertRules.h"
#include "alerts/AlertSend.h"
#include "support/SmtpServer.h"
#include "support/TestEnv.h"
#include "support/WebhookReceiver.h"

#include <nlohmann/json.hpp>

#include <QRegularExpression>
#include <QTimeZone>

#include <mutex>
#include <thread>

using namespace tw::alerts;
using nlohmann::json;

Q_DECLARE_METATYPE(std::vector<std::string>)

namespace {

SlotResult Result(const std::string& text, std::vector<std::string> above = {}) {
    SlotResult r;
    r.text = text;
    if (text.starts_with("Rank "))
        r.rank = std::stoi(text.substr(5));
    r.sitesAbove = std::move(above);
    return r;
}

AlertConfig Config(const std::string& rules) {
    AlertConfig c;
    QString error;
    if (!parseAlerts("[rules]\n" + rules + "\n", &c, nullptr, &error))
        qWarning("%s", qPrintable(error));
    return c;
}

// "top 3 left; moved 5" for the alerts.
QString Summary(const std::vector<Alert>& alerts) {
    QStringList parts;
    for (const Alert& a : alerts) {
        QString s = QString::fromStdString(a.rule);
        if (a.n)
            s += QStringLiteral(" %1").arg(a.n);
        if (a.rule == "top")
            s += a.entered ? QStringLiteral(" entered") : QStringLiteral(" left");
        if (a.rule == "new_above")
            s += QStringLiteral(" ") + QString::fromStdString([&] {
                     std::string sites;
                     for (const std::string& x : a.sites)
                         sites += (sites.empty() ? "" : ",") + x;
                     return sites;
                 }());
        parts << s;
    }
    return parts.join(QStringLiteral("; "));
}

AlertMessage TwoAlerts() {
    AlertMessage m;
    m.list = "liste-\xC3\xA9t\xC3\xA9.dat";
    m.run = QDateTime(QDate(2026, 12, 8), QTime(7, 30), QTimeZone(3600));
    SlotChange left{
        "www.my-site.example",     "blue widgets", "google", "Google", Result("Rank 8 / Page 1"),
        Result("Rank 12 / Page 2")};
    SlotChange broke{".hidden.example", "caf\xC3\xA9 cr\xC3\xA8me", "lycos",
                     "Lycos",           Result("Rank 2 / Page 1"),  Result("error")};
    m.alerts = evaluate(Config("top=10\nerrors=yes"), {left, broke});
    return m;
}

SendLimits Quick() {
    SendLimits l;
    l.connectTimeoutMs = 3000;
    l.timeoutMs = 10000;
    l.pausesMs = {10, 10};
    return l;
}

std::string DecodeQuotedPrintable(const std::string& in) {
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 2 < in.size() && in[i + 1] == '\r' && in[i + 2] == '\n') {
            i += 2;
        } else if (in[i] == '=' && i + 2 < in.size()) {
            out += char(std::stoi(in.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += in[i];
        }
    }
    return out;
}

} // namespace

class TestAlerts : public QObject {
    Q_OBJECT

private slots:
    void rules_data() {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QString>("before"); // empty: no earlier result
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("expected");
        QTest::newRow("leaves the top 3") << "top=3"
                                          << "Rank 3 / Page 1"
                                          << "Rank 4 / Page 1"
                                          << "top 3 left";
        QTest::newRow("enters the top 3") << "top=3"
                                          << "Rank 4 / Page 1"
                                          << "Rank 3 / Page 1"
                                          << "top 3 entered";
        QTest::newRow("stays in") << "top=3"
                                  << "Rank 3 / Page 1"
                                  << "Rank 1 / Page 1"
                                  << "";
        QTest::newRow("stays out") << "top=3"
                                   << "Rank 4 / Page 1"
                                   << "Rank 9 / Page 1"
                                   << "";
        QTest::newRow("leaves both") << "top=3,10"
                                     << "Rank 2 / Page 1"
                                     << "Rank 12 / Page 2"
                                     << "top 3 left; top 10 left";
        QTest::newRow("found again") << "top=10"
                                     << "not found"
                                     << "Rank 10 / Page 1"
                                     << "top 10 entered";
        QTest::newRow("dropped out") << "top=10"
                                     << "Rank 10 / Page 1"
                                     << "not found"
                                     << "top 10 left";
        QTest::newRow("after an error") << "top=10"
                                        << "error"
                                        << "Rank 5 / Page 1"
                                        << "";
        QTest::newRow("into an error") << "top=10"
                                       << "Rank 5 / Page 1"
                                       << "error"
                                       << "";
        QTest::newRow("first result") << "top=10"
                                      << ""
                                      << "Rank 5 / Page 1"
                                      << "";
        QTest::newRow("moved exactly N") << "moved=5"
                                         << "Rank 10 / Page 1"
                                         << "Rank 5 / Page 1"
                                         << "moved 5";
        QTest::newRow("moved N-1") << "moved=5"
                                   << "Rank 10 / Page 1"
                                   << "Rank 6 / Page 1"
                                   << "";
        QTest::newRow("moved down N") << "moved=5"
                                      << "Rank 3 / Page 1"
                                      << "Rank 8 / Page 1"
                                      << "moved 5";
        QTest::newRow("moved from not found") << "moved=5"
                                              << "not found"
                                              << "Rank 1 / Page 1"
                                              << "";
        QTest::newRow("reads error") << "errors=yes"
                                     << "Rank 3 / Page 1"
                                     << "error"
                                     << "errors";
        QTest::newRow("error first time") << "errors=yes"
                                          << ""
                                          << "error"
                                          << "errors";
        QTest::newRow("error cleared") << "errors=yes"
                                       << "error"
                                       << "Rank 3 / Page 1"
                                       << "";
        QTest::newRow("errors off") << "errors=no"
                                    << "Rank 3 / Page 1"
                                    << "error"
                                    << "";
        QTest::newRow("all rules, one move") << "top=3,10\nmoved=5\nerrors=yes"
                                             << "Rank 8 / Page 1"
                                             << "Rank 2 / Page 1"
                                             << "top 3 entered; moved 5";
    }
    void rules() {
        QFETCH(QString, rules);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, expected);
        SlotChange c{"www.my-site.example", "blue widgets", "google", "Google", {}, {}};
        if (!before.isEmpty())
            c.previous = Result(before.toStdString());
        c.current = Result(after.toStdString());
        QCOMPARE(Summary(evaluate(Config(rules.toStdString()), {c})), expected);
    }

    void newAbove_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<std::vector<std::string>>("before");
        QTest::addColumn<std::vector<std::string>>("after");
        QTest::addColumn<QString>("expected");
        using V = std::vector<std::string>;
        QTest::newRow("new at position N")
            << 3 << V{"http://a.example/", "http://b.example/"}
            << V{"http://a.example/", "http://b.example/", "http://c.example/"}
            << "new_above 3 c.example";
        QTest::newRow("new at position N+1") << 3 << V{"http://a.example/"}
                                             << V{"http://a.example/", "http://a.example/2",
                                                  "http://a.example/3", "http://d.example/"}
                                             << "";
        QTest::newRow("same site, another page and spelling")
            << 10 << V{"http://www.A.example/x"} << V{"https://a.example/y?z=1"} << "";
        QTest::newRow("two new, each once") << 10 << V{"http://a.example/"}
                                            << V{"http://c.example/1", "http://a.example/",
                                                 "http://c.example/2", "http://d.example/"}
                                            << "new_above 10 c.example,d.example";
    }
    void newAbove() {
        QFETCH(int, n);
        QFETCH(std::vector<std::string>, before);
        QFETCH(std::vector<std::string>, after);
        QFETCH(QString, expected);
        AlertConfig config;
        config.newAbove = n;
        const std::string rank = "Rank " + std::to_string(after.size() + 1) + " / Page 1";
        SlotChange c{"www.my-site.example",
                     "blue widgets",
                     "google",
                     "Google",
                     Result("Rank " + std::to_string(before.size() + 1) + " / Page 1", before),
                     Result(rank, after)};
        QCOMPARE(Summary(evaluate(config, {c})), expected);
        // Without a rank before, nothing is known of the sites above then.
        c.previous = Result("not found");
        QCOMPARE(Summary(evaluate(config, {c})), QString());
    }

    void ruleFile_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error"); // what the message holds; empty: read
        QTest::addColumn<int>("warnings");
        QTest::newRow("bad top") << "[rules]\ntop=0"
                                 << "line 2: top takes ranks" << 0;
        QTest::newRow("bad moved") << "[rules]\nmoved=x"
                                   << "line 2: moved" << 0;
        QTest::newRow("new_above past the sites kept") << "[rules]\nnew_above=101"
                                                       << "line 2" << 0;
        QTest::newRow("bad yes/no") << "[rules]\n\nerrors=maybe"
                                    << "line 3: errors" << 0;
        QTest::newRow("webhook not http") << "[send]\nwebhook=ftp://x.example/"
                                          << "line 2: webhook" << 0;
        QTest::newRow("bad address") << "[send]\nmail_to=a@b.example, not an address"
                                     << "line 2: mail_to: \"not an address\"" << 0;
        QTest::newRow("not key=value") << "[rules]\ntop 3"
                                       << "line 2" << 0;
        QTest::newRow("unknown keys are skipped")
            << "top=3\n[rules]\ncolour=blue\n[other]\nx=1\n[send]\nmail_report=yes"
            << "" << 3;
    }
    void ruleFile() {
        QFETCH(QString, text);
        QFETCH(QString, error);
        QFETCH(int, warnings);
        AlertConfig c;
        QString why;
        QStringList notes;
        QCOMPARE(parseAlerts(text.toStdString(), &c, &notes, &why), error.isEmpty());
        QVERIFY2(why.contains(error), qPrintable(why));
        QCOMPARE(notes.size(), warnings);
    }

    // A hand-written file with comments reads as meant, and what the dialog writes reads back.
    void ruleFileRoundTrip() {
        const std::string text = "[rules]\n"
                                 "top=10,3          ; an entry leaves or enters the top 3 or 10\n"
                                 "moved=5\nnew_above=10\nerrors=yes\n"
                                 "[send]\n"
                                 "webhook=https://hooks.example/abc?x=1;y   ; POST, JSON body\n"
                                 "mail_to=me@my-site.example, client@client.example\n"
                                 "desktop=yes\n";
        AlertConfig c;
        QString error;
        QVERIFY2(parseAlerts(text, &c, nullptr, &error), qPrintable(error));
        QCOMPARE(c.top, (std::vector<int>{3, 10}));
        QCOMPARE(c.moved, 5);
        QCOMPARE(c.newAbove, 10);
        QVERIFY(c.errors && c.desktop && !c.mailReport);
        QCOMPARE(c.webhook, std::string("https://hooks.example/abc?x=1;y"));
        QCOMPARE(c.mailTo,
                 (std::vector<std::string>{"me@my-site.example", "client@client.example"}));
        c.mailReport = true;
        AlertConfig back;
        QVERIFY(parseAlerts(formatAlerts(c), &back, nullptr, &error));
        QVERIFY(back == c);

        tw::test::ScopedWorkDir dir;
        const QString list = dir.file(QStringLiteral("shop.dat"));
        std::optional<AlertConfig> read;
        QVERIFY(readAlerts(list, &read, nullptr, &error));
        QVERIFY(!read); // no file, no alerts
        QVERIFY(writeAlerts(list, c, &error));
        QVERIFY(QFile::exists(dir.file(QStringLiteral("shop.alerts.ini"))));
        QVERIFY(readAlerts(list, &read, nullptr, &error));
        QVERIFY(read && *read == c);
    }

    void webhookBody() {
        tw::test::WebhookReceiver hook;
        AlertConfig config;
        config.webhook = hook.url("/services/T0/secret-token");
        const AlertMessage message = TwoAlerts();
        SendOptions options;
        options.limits = Quick();
        const std::vector<ChannelOutcome> out = sendAlerts(config, message, options);
        QCOMPARE(out.size(), std::size_t(1));
        QVERIFY2(out[0].sent, qPrintable(out[0].error));
        QCOMPARE(out[0].tries, 1);
        QVERIFY(!out[0].target.contains(QLatin1String("secret-token")));
        QCOMPARE(hook.posts.size(), std::size_t(1));
        QVERIFY(hook.posts[0].first.starts_with("application/json"));
        const json body = json::parse(hook.posts[0].second);
        QCOMPARE(body["text"].get<std::string>(), message.text());
        QCOMPARE(body["list"].get<std::string>(), message.list);
        QCOMPARE(body["run"].get<std::string>(), std::string("2026-12-08T07:30:00+01:00"));
        QCOMPARE(body["alerts"].size(), std::size_t(2));
        const json& top = body["alerts"][0];
        QCOMPARE(top["rule"].get<std::string>(), std::string("top"));
        QCOMPARE(top["n"].get<int>(), 10);
        QCOMPARE(top["url"].get<std::string>(), std::string("www.my-site.example"));
        QCOMPARE(top["keywords"].get<std::string>(), std::string("blue widgets"));
        QCOMPARE(top["slot"].get<std::string>(), std::string("google"));
        QCOMPARE(top["engine"].get<std::string>(), std::string("Google"));
        QCOMPARE(top["old"].get<std::string>(), std::string("Rank 8 / Page 1"));
        QCOMPARE(top["new"].get<std::string>(), std::string("Rank 12 / Page 2"));
        QCOMPARE(body["alerts"][1]["rule"].get<std::string>(), std::string("errors"));
        QVERIFY(body["alerts"][1]["n"].is_null());
        QVERIFY(message.text().find("left the top 10 (Rank 8 / Page 1 -> Rank 12 / Page 2)") !=
                std::string::npos);
    }

    void webhookFailures_data() {
        QTest::addColumn<int>("status"); // 0: nothing listens
        QTest::addColumn<QString>("error");
        QTest::newRow("server error") << 500 << "answered HTTP 500";
        QTest::newRow("client error") << 404 << "answered HTTP 404";
        QTest::newRow("redirect not followed") << 302 << "not followed";
        QTest::newRow("refused") << 0 << "did not answer";
    }
    void webhookFailures() {
        QFETCH(int, status);
        QFETCH(QString, error);
        tw::test::WebhookReceiver hook;
        hook.status = status;
        AlertConfig config;
        config.webhook = hook.url("/hook/secret-token");
        if (status == 0) {
            hook.svr.stop(); // the port is free again: connections are refused
            config.webhook = "http://127.0.0.1:" + std::to_string(hook.port) + "/hook/secret-token";
        }
        SendOptions options;
        options.limits = Quick();
        const std::vector<ChannelOutcome> out = sendAlerts(config, TwoAlerts(), options);
        QCOMPARE(out.size(), std::size_t(1));
        QVERIFY(out[0].failed());
        QCOMPARE(out[0].tries, 3);
        QVERIFY2(out[0].error.contains(error), qPrintable(out[0].error));
        QVERIFY(!failureLine(out[0]).contains(QLatin1String("secret-token")));
        if (status != 0)
            QCOMPARE(hook.posts.size(), std::size_t(3));
    }

    void mailExchange() {
        tw::test::SmtpServer smtp({true, true});
        MailServer server;
        server.url = "smtp://127.0.0.1:" + std::to_string(smtp.port());
        server.noTls = true; // our test server has no TLS; allowed for this computer only
        server.user = "tw";
        server.password = "pw-very-secret";
        server.from = "tallowick@my-site.example";
        AlertConfig config;
        config.mailTo = {"me@my-site.example", "client@client.example"};
        const AlertMessage message = TwoAlerts();
        SendOptions options;
        options.mail = server;
        options.limits = Quick();
        const std::vector<ChannelOutcome> out = sendAlerts(config, message, options);
        QCOMPARE(out.size(), std::size_t(1));
        QVERIFY2(out[0].sent, qPrintable(out[0].error));
        const std::vector<tw::test::SmtpServer::Mail> mails = smtp.mails();
        QCOMPARE(mails.size(), std::size_t(1));
        QCOMPARE(mails[0].from, std::string("<tallowick@my-site.example>"));
        QCOMPARE(mails[0].to,
                 (std::vector<std::string>{"<me@my-site.example>", "<client@client.example>"}));
        const std::string& data = mails[0].data;
        const std::size_t split = data.find("\r\n\r\n");
        QVERIFY(split != std::string::npos);
        const QString headers = QString::fromStdString(data.substr(0, split + 2));
        QVERIFY2(headers.contains(QRegularExpression(QStringLiteral(
                     "(^|\r\n)Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d (Jan|Feb|Mar|Apr|May|Jun|"
                     "Jul|Aug|Sep|Oct|Nov|Dec) \\d{4} \\d\\d:\\d\\d:\\d\\d [+-]\\d{4}\r\n"))),
                 qPrintable(headers));
        QVERIFY(headers.contains(QRegularExpression(
            QStringLiteral("\r\nMessage-ID: <[0-9a-f-]{36}@my-site\\.example>\r\n"))));
        QVERIFY(headers.contains(QStringLiteral("\r\nTo: me@my-site.example, "
                                                "client@client.example\r\n")));
        // The subject as encoded words, each of at most 75 characters.
        const QRegularExpression word(QStringLiteral("=\\?UTF-8\\?B\\?([A-Za-z0-9+/=]*)\\?="));
        const int subjectAt = headers.indexOf(QStringLiteral("\r\nSubject: "));
        QVERIFY(subjectAt >= 0);
        QByteArray subject;
        QString field = headers.mid(subjectAt + 11);
        field = field.left(field.indexOf(QRegularExpression(QStringLiteral("\r\n[^ ]"))));
        for (auto m = word.globalMatch(field); m.hasNext();) {
            const QRegularExpressionMatch w = m.next();
            QVERIFY(w.capturedLength() <= 75);
            subject += QByteArray::fromBase64(w.captured(1).toLatin1());
        }
        QCOMPARE(subject.toStdString(), message.subject());
        // The text, dot-stuffing undone by the server (a line starts with a dot), CR LF line ends.
        std::string expected = message.text(), crlf;
        for (char c : expected)
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        QVERIFY(crlf.find("\r\n.hidden.example") != std::string::npos);
        QCOMPARE(DecodeQuotedPrintable(data.substr(split + 4)), crlf);
    }

    void mailRefused_data() {
        QTest::addColumn<bool>("noTls");
        QTest::addColumn<bool>("acceptLogin");
        QTest::addColumn<QString>("error");
        QTest::newRow("no STARTTLS offered") << false << true << "does not offer STARTTLS";
        QTest::newRow("login refused") << true << false << "refused the login of \"tw\"";
    }
    void mailRefused() {
        QFETCH(bool, noTls);
        QFETCH(bool, acceptLogin);
        QFETCH(QString, error);
        tw::test::SmtpServer smtp({true, acceptLogin});
        MailServer server{"smtp://127.0.0.1:" + std::to_string(smtp.port()), "tw", "pw-very-secret",
                          "tallowick@my-site.example", noTls};
        AlertConfig config;
        config.mailTo = {"me@my-site.example"};
        SendOptions options;
        options.mail = server;
        options.limits = Quick();
        const std::vector<ChannelOutcome> out = sendAlerts(config, TwoAlerts(), options);
        QCOMPARE(out.size(), std::size_t(1));
        QVERIFY(out[0].failed());
        QCOMPARE(out[0].tries, 3);
        QVERIFY2(out[0].error.contains(error), qPrintable(out[0].error));
        QVERIFY(!failureLine(out[0]).contains(QLatin1String("pw-very-secret")));
        QVERIFY(smtp.mails().empty());
        for (const std::string& command : smtp.commands())
            QVERIFY2(!command.starts_with("MAIL"), command.c_str()); // nothing was sent
    }

    // No session bus here: the notification is skipped, not failed; its text is plain.
    void desktopNotification() {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("XDG_RUNTIME_DIR", tw::test::isolate().path().toUtf8());
        AlertMessage message = TwoAlerts();
        message.alerts[0].keywords = "<b>bold</b> & co";
        for (int i = 0; i < 10; ++i)
            message.alerts.push_back(message.alerts[1]);
        AlertConfig config;
        config.desktop = true;
        const std::vector<ChannelOutcome> out = sendAlerts(config, message, SendOptions{});
        QCOMPARE(out.size(), std::size_t(1));
        QVERIFY(out[0].skipped && !out[0].failed());
        const std::string body = desktopBody(message);
        QVERIFY(body.find("&lt;b&gt;bold&lt;/b&gt; &amp; co") != std::string::npos);
        QVERIFY(body.ends_with("\nand 4 more"));
    }
};

TW_TEST_MAIN_CORE(TestAlerts)
#include "test_alerts.moc"
