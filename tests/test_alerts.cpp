// Alert rules at their boundaries, the rule file, and each channel against a local receiver: the
// webhook's body, the mail (through a small SMTP server of our own: a normal exchange, a server
// without STARTTLS, a refused login, the report attached or alone), and the desktop
// notification's text.
#include "alerts/AlertRules.h"
#include "alerts/AlertRun.h"
#include "alerts/AlertSend.h"
#include "support/SmtpServer.h"
#include "support/TestEnv.h"
#include "support/WebhookReceiver.h"

#include <nlohmann/json.hpp>

#include <QFile>
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

MailServer LocalServer(const tw::test::SmtpServer& smtp) {
    MailServer server;
    server.url = "smtp://127.0.0.1:" + std::to_string(smtp.port());
    server.noTls = true;
    server.from = "tallowick@my-site.example";
    return server;
}

// A mail's MIME parts: headers (unfolded) and body of each, split at the boundary of its
// Content-Type.
struct Part {
    std::string headers, body;
};
std::vector<Part> Parts(const std::string& mail) {
    std::vector<Part> parts;
    const std::size_t at = mail.find("boundary=\"");
    if (at == std::string::npos)
        return parts;
    const std::string boundary = "--" + mail.substr(at + 10, mail.find('"', at + 10) - at - 10);
    std::size_t from = mail.find(boundary + "\r\n");
    while (from != std::string::npos) {
        from += boundary.size() + 2;
        const std::size_t next = mail.find("\r\n" + boundary, from);
        if (next == std::string::npos)
            break;
        const std::string part = mail.substr(from, next + 2 - from);
        const std::size_t split = part.find("\r\n\r\n");
        Part p;
        p.headers = part.substr(0, split + 2);
        for (std::size_t fold; (fold = p.headers.find("\r\n ")) != std::string::npos;)
            p.headers.replace(fold, 3, " ");
        p.body = part.substr(split + 4);
        parts.push_back(p);
        from =
            mail.compare(next + 2 + boundary.size(), 2, "--") == 0 ? std::string::npos : next + 2;
    }
    return parts;
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

    // The report attached to the alert mail: the text part as without it, the file in base64
    // lines of 76 characters that decode to its bytes, and a file name every reader can take.
    void reportAttached_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("plainName"); // the ASCII filename="..."
        QTest::addColumn<bool>("extended");     // filename*0*=UTF-8''... follows
        QTest::newRow("ascii") << "shop rank report 2026-12-08.pdf"
                               << "shop rank report 2026-12-08.pdf" << false;
        QTest::newRow("quote and backslash") << "a\"b\\c.pdf"
                                             << "a_b_c.pdf" << true;
        QTest::newRow("cyrillic, long")
            << QString::fromUtf8("\xD0\xBC\xD0\xB0\xD0\xB3\xD0\xB0\xD0\xB7\xD0\xB8\xD0\xBD")
                       .repeated(8) +
                   " rank report.pdf"
            << QString(QLatin1Char('_')).repeated(56) + " rank report.pdf" << true;
    }
    void reportAttached() {
        QFETCH(QString, fileName);
        QFETCH(QString, plainName);
        QFETCH(bool, extended);
        tw::test::SmtpServer smtp({false, true});
        AlertConfig config;
        config.mailTo = {"me@my-site.example"};
        SendOptions options;
        options.mail = LocalServer(smtp);
        options.limits = Quick();
        MailAttachment pdf;
        pdf.fileName = fileName.toStdString();
        for (int i = 0; i < 1000; ++i)
            pdf.bytes += char(i * 7);
        options.report = pdf;
        const AlertMessage message = TwoAlerts();
        const std::vector<ChannelOutcome> out = sendAlerts(config, message, options);
        QCOMPARE(out.size(), std::size_t(1));
        QVERIFY2(out[0].sent, qPrintable(out[0].error));
        QCOMPARE(out[0].attachmentBytes, qint64(1000));
        const std::vector<tw::test::SmtpServer::Mail> mails = smtp.mails();
        QCOMPARE(mails.size(), std::size_t(1));
        const std::string& data = mails[0].data;
        QVERIFY(data.substr(0, data.find("\r\n\r\n")).find("Content-Type: multipart/mixed;") !=
                std::string::npos);
        const std::vector<Part> parts = Parts(data);
        QCOMPARE(parts.size(), std::size_t(2));
        QVERIFY(parts[0].headers.find("Content-Type: text/plain; charset=UTF-8\r\n") == 0);
        std::string crlf;
        for (char c : message.text())
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        QCOMPARE(DecodeQuotedPrintable(parts[0].body), crlf);

        QVERIFY2(parts[1].headers.find("Content-Type: application/pdf\r\n") == 0,
                 parts[1].headers.c_str());
        QVERIFY(parts[1].headers.find("Content-Transfer-Encoding: base64\r\n") !=
                std::string::npos);
        const std::string plain =
            "Content-Disposition: attachment; filename=\"" + plainName.toStdString() + "\"";
        QVERIFY2(parts[1].headers.find(plain) != std::string::npos, parts[1].headers.c_str());
        // The RFC 2231 pieces, put together and decoded, give the name back.
        QByteArray encoded;
        const QRegularExpression piece(QStringLiteral("filename\\*(\\d+)\\*=([^;\r]*)"));
        int expected = 0;
        for (auto m = piece.globalMatch(QString::fromStdString(parts[1].headers)); m.hasNext();) {
            const QRegularExpressionMatch p = m.next();
            QCOMPARE(p.captured(1).toInt(), expected++);
            encoded += p.captured(2).toLatin1();
        }
        QCOMPARE(expected > 0, extended);
        if (extended) {
            QVERIFY(encoded.startsWith("UTF-8''"));
            QCOMPARE(QString::fromUtf8(QByteArray::fromPercentEncoding(encoded.mid(7))), fileName);
        }
        QVERIFY(parts[1].headers.size() < 998);
        const QList<QByteArray> lines =
            QByteArray::fromStdString(parts[1].body).chopped(2).split('\n');
        QByteArray base64;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QVERIFY(lines[i].endsWith('\r') || i + 1 == lines.size());
            const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
            QVERIFY2(i + 1 == lines.size() ? line.size() <= 76 : line.size() == 76,
                     line.constData());
            base64 += line;
        }
        QCOMPARE(QByteArray::fromBase64(base64).toStdString(), pdf.bytes);
    }

    // No rule triggered: the report goes in a mail of its own; a report that could not be made
    // is a failed channel of its own, and the alerts still go.
    void reportAlone() {
        tw::test::SmtpServer smtp({false, true});
        AlertConfig config;
        config.mailTo = {"me@my-site.example"};
        SendOptions options;
        options.mail = LocalServer(smtp);
        options.limits = Quick();
        options.report = MailAttachment{"list rank report.pdf", "application/pdf", "%PDF-1.4 x"};
        AlertMessage message = TwoAlerts();
        message.alerts.clear();
        std::vector<ChannelOutcome> out = sendAlerts(config, message, options);
        QCOMPARE(out.size(), std::size_t(1));
        QVERIFY2(out[0].sent, qPrintable(out[0].error));
        std::vector<tw::test::SmtpServer::Mail> mails = smtp.mails();
        QCOMPARE(mails.size(), std::size_t(1));
        const QByteArray subject = "Rank report: " + QByteArray::fromStdString(message.list);
        QVERIFY(mails[0].data.find("=?UTF-8?B?" + subject.toBase64().toStdString() + "?=") !=
                std::string::npos);
        const std::vector<Part> parts = Parts(mails[0].data);
        QCOMPARE(parts.size(), std::size_t(2));
        const std::string text = DecodeQuotedPrintable(parts[0].body);
        QVERIFY2(text.find(message.list) != std::string::npos &&
                     text.find("2026-12-08 07:30") != std::string::npos,
                 text.c_str());

        // Without a report nor an alert nothing goes; with a report that failed, only its line.
        options.report.reset();
        QVERIFY(sendAlerts(config, message, options).empty());
        options.reportError = QStringLiteral("The rank report could not be written: disk full");
        out = sendAlerts(config, message, options);
        QCOMPARE(out.size(), std::size_t(1));
        QVERIFY(out[0].failed());
        QVERIFY2(failureLine(out[0]).contains(QLatin1String("disk full")),
                 qPrintable(failureLine(out[0])));
        out = sendAlerts(config, TwoAlerts(), options);
        QCOMPARE(out.size(), std::size_t(2));
        QVERIFY(out[0].failed() && out[1].sent);
        QCOMPARE(smtp.mails().size(), std::size_t(2));
        QVERIFY(Parts(smtp.mails()[1].data).empty()); // the alerts alone, as plain text
    }

    // The run step with a report writer: what it writes is mailed and then removed; a writer
    // that fails, a report too large, and a rule file without mail_report.
    void reportWriter_data() {
        QTest::addColumn<QByteArray>("rules");
        QTest::addColumn<qint64>("size"); // written by the writer; -1: it fails
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("mails");
        const QByteArray to = "[send]\nmail_to=me@my-site.example\n";
        QTest::newRow("written") << to + "mail_report=yes\n" << qint64(5000) << QString() << 1;
        QTest::newRow("writer fails")
            << to + "mail_report=yes\n"
            << qint64(-1)
            << "the rank report for me@my-site.example could not be sent: The rank report could "
               "not be written: no room"
            << 0;
        QTest::newRow("too large")
            << to + "mail_report=yes\n"
            << kMaxReportBytes + 1 << "larger than the 20 MB a mail takes" << 0;
        QTest::newRow("not asked for") << to << qint64(5000) << QString() << 0;
    }
    void reportWriter() {
        QFETCH(QByteArray, rules);
        QFETCH(qint64, size);
        QFETCH(QString, failure);
        QFETCH(int, mails);
        tw::test::ScopedWorkDir dir;
        tw::test::SmtpServer smtp({false, true});
        QVERIFY(writeMailServer(LocalServer(smtp), nullptr));
        const QString data = dir.file("list.dat");
        QFile ini(alertsPathFor(data));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(rules);
        ini.close();
        CAlertCheck check;
        AlertsOutcome outcome;
        QVERIFY(!check.Prepare(data, &outcome)); // no rules: nothing to note
        QString written;
        const auto writer = [&](const QString& path, QString* error) {
            written = path;
            if (size < 0) {
                *error = QStringLiteral("no room");
                return false;
            }
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(QByteArray(100, 'p')) == 100 &&
                   f.resize(size);
        };
        SendOptions options;
        options.limits = Quick();
        check.Finish({}, QDateTime::currentDateTime(), options, {}, &outcome, writer);
        QCOMPARE(written.isEmpty(), !outcome.mailsReport);
        QVERIFY(written.isEmpty() || !QFile::exists(written));
        QCOMPARE(outcome.failed(), !failure.isEmpty());
        if (!failure.isEmpty()) {
            QCOMPARE(outcome.failureLines().size(), 1);
            QVERIFY2(outcome.failureLines()[0].contains(failure),
                     qPrintable(outcome.failureLines()[0]));
        }
        QCOMPARE(int(smtp.mails().size()), mails);
        if (mails)
            QVERIFY(smtp.mails()[0].data.find("filename=\"list rank report ") != std::string::npos);
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
