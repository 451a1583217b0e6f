#include "alerts/AlertSend.h"

#include "base/Maker.h"
#include "settings/RegistrySettings.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QLocale>
#include <QUuid>
#include <QVariantMap>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

namespace tw::alerts {

namespace {

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlHandle {
    CURL* h = curl_easy_init();
    curl_slist* list = nullptr;
    char errors[CURL_ERROR_SIZE] = {};
    CurlHandle() {
        if (h) {
            curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errors);
            curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        }
    }
    ~CurlHandle() {
        curl_slist_free_all(list);
        if (h)
            curl_easy_cleanup(h);
    }
    CurlHandle(const CurlHandle&) = delete;
    CurlHandle& operator=(const CurlHandle&) = delete;
    // curl's own words for a failure; they name hosts and codes, never the login.
    QString reason(CURLcode code) const {
        const QString detail = QString::fromUtf8(errors).trimmed();
        return detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : detail;
    }
};

void applyLimits(CURL* h, const SendLimits& limits) {
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits.timeoutMs);
}

struct AnswerSink {
    std::string body;
    long limit = 0;
};

size_t keepAnswer(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<AnswerSink*>(user);
    const size_t n = size * count;
    if (long(sink->body.size() + n) > sink->limit)
        return 0; // enough of it: the status is what counts
    sink->body.append(data, n);
    return n;
}

struct Upload {
    const std::string& bytes;
    size_t at = 0;
};

size_t giveUpload(char* buffer, size_t size, size_t count, void* user) {
    auto* up = static_cast<Upload*>(user);
    const size_t n = std::min(size * count, up->bytes.size() - up->at);
    std::copy_n(up->bytes.data() + up->at, n, buffer);
    up->at += n;
    return n;
}

// "smtp://mail.example:587" -> "mail.example:587"; without user information or path.
std::string serverShown(const std::string& url) {
    std::string s = url.substr(url.find("://") == std::string::npos ? 0 : url.find("://") + 3);
    s = s.substr(0, s.find_first_of("/?#"));
    if (const std::size_t at = s.rfind('@'); at != std::string::npos)
        s.erase(0, at + 1);
    return s;
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

bool isLoopbackHost(std::string host) {
    if (host.starts_with('[')) {
        host = host.substr(1, host.find(']') - 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    host = lowerAscii(host);
    return host == "localhost" || host == "::1" || host.starts_with("127.");
}

// Encoded words of at most 75 characters, never splitting a UTF-8 sequence, folded.
std::string encodedSubject(const std::string& subject) {
    std::string out;
    std::size_t at = 0;
    while (at < subject.size()) {
        std::size_t end = std::min(subject.size(), at + 45);
        while (end < subject.size() && end > at + 1 && (subject[end] & 0xC0) == 0x80)
            --end;
        const QByteArray chunk(subject.data() + at, qsizetype(end - at));
        if (!out.empty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + chunk.toBase64().toStdString() + "?=";
        at = end;
    }
    return out;
}

std::string quotedPrintable(const std::string& text) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        std::size_t column = 0;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const unsigned char c = (unsigned char)line[i];
            const bool last = i + 1 == line.size();
            std::string piece;
            if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last)) {
                piece = char(c);
            } else {
                piece = {'=', kHex[c >> 4], kHex[c & 15]};
            }
            if (column + piece.size() > 75) {
                out += "=\r\n";
                column = 0;
            }
            out += piece;
            column += piece.size();
        }
        if (end == text.size())
            break;
        out += "\r\n";
        start = end + 1;
    }
    return out;
}

std::string rfc5322Date(const QDateTime& time) {
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return QLocale::c().toString(time, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")).toStdString() +
           (offset < 0 ? "-" : "+") +
           QStringLiteral("%1%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'))
               .toStdString();
}

std::string joinedAddresses(const std::vector<std::string>& to) {
    std::string out;
    for (const std::string& a : to)
        out += (out.empty() ? "" : ", ") + a;
    return out;
}

// The password can only come back in a server's or curl's words; it is taken out all the same.
QString withoutSecrets(QString text, const MailServer& server) {
    if (server.password.size() >= 3)
        text.replace(q(server.password), QStringLiteral("…"));
    return text;
}

bool sessionBusExists() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

std::string base64Lines(const std::string& bytes) {
    const QByteArray all =
        QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())).toBase64();
    std::string out;
    out.reserve(std::size_t(all.size()) + std::size_t(all.size()) / 76 * 2 + 2);
    for (qsizetype at = 0; at < all.size(); at += 76) {
        out.append(all.constData() + at, std::size_t(std::min<qsizetype>(76, all.size() - at)));
        out += "\r\n";
    }
    return out;
}

// The file name's parameters: an ASCII filename="..." for every reader, and for a name that is
// not plain ASCII its UTF-8 form in RFC 2231 pieces (filename*0*=UTF-8''...). Controls, quotes
// and backslashes never reach the header.
std::string fileNameParameters(const std::string& name) {
    std::string plain;
    bool ascii = true;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = (unsigned char)name[i];
        if (c >= 0x80) {
            ascii = false;
            if ((c & 0xC0) != 0x80)
                plain += '_';
        } else if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
            ascii = false; // kept in the extended form
            plain += '_';
        } else {
            plain += char(c);
        }
    }
    std::string out = "filename=\"" + plain + "\"";
    if (ascii)
        return out;
    static const char* kHex = "0123456789ABCDEF";
    std::vector<std::string> pieces(1, "UTF-8''");
    for (unsigned char c : name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        const std::string piece =
            keep ? std::string(1, char(c)) : std::string{'%', kHex[c >> 4], kHex[c & 15]};
        if (pieces.back().size() + piece.size() > 60)
            pieces.emplace_back();
        pieces.back() += piece;
    }
    for (std::size_t i = 0; i < pieces.size(); ++i)
        out += ";\r\n filename*" + std::to_string(i) + "*=" + pieces[i];
    return out;
}

} // namespace

MailServer readMailServer(bool environment) {
    CRegistrySettings store;
    MailServer s;
    s.url = store.ReadString(maker::kProduct, kSmtpUrlValue);
    s.user = store.ReadString(maker::kProduct, kSmtpUserValue);
    s.password = store.ReadString(maker::kProduct, kSmtpPasswordValue);
    s.from = store.ReadString(maker::kProduct, kMailFromValue);
    s.noTls = lowerAscii(store.ReadString(maker::kProduct, kSmtpNoTlsValue)) == "yes";
    if (const char* env = std::getenv(kEnvSmtpPassword); environment && env && *env)
        s.password = env;
    return s;
}

bool writeMailServer(const MailServer& s, QString* error) {
    CRegistrySettings store;
    const std::pair<const char*, std::string> values[] = {
        {kSmtpUrlValue, s.url},
        {kSmtpUserValue, s.user},
        {kSmtpPasswordValue, s.password},
        {kMailFromValue, s.from},
        {kSmtpNoTlsValue, s.noTls ? "yes" : ""},
    };
    for (const auto& [name, value] : values) {
        if (!store.WriteString(maker::kProduct, name, value)) {
            setError(error, QStringLiteral("The setting %1 could not be written to \"%2\".")
                                .arg(QString::fromLatin1(name),
                                     q(CRegistrySettings::Location(maker::kProduct))));
            return false;
        }
    }
    return true;
}

bool checkMailServer(const MailServer& s, QString* error) {
    const std::string scheme = lowerAscii(s.url.substr(0, s.url.find("://")));
    if (s.url.empty()) {
        setError(error, QStringLiteral("No mail server is set (%1, e.g. smtp://mail.example:587).")
                            .arg(QString::fromLatin1(kSmtpUrlValue)));
        return false;
    }
    if ((scheme != "smtp" && scheme != "smtps") || s.url.find("://") == std::string::npos ||
        serverShown(s.url).empty() ||
        std::any_of(s.url.begin(), s.url.end(), [](char c) { return (unsigned char)c <= ' '; })) {
        setError(error, QStringLiteral("The mail server %1 is not an smtp:// or smtps:// address.")
                            .arg(QString::fromLatin1(kSmtpUrlValue)));
        return false;
    }
    if (s.noTls && (scheme != "smtp" || !isLoopbackHost(serverShown(s.url)))) {
        setError(error, QStringLiteral("%1 is only for an smtp:// server on this computer "
                                       "(localhost); %2 is not one.")
                            .arg(QString::fromLatin1(kSmtpNoTlsValue), q(serverShown(s.url))));
        return false;
    }
    if (!isMailAddress(s.from)) {
        setError(error, QStringLiteral("The sender's address %1 is missing or not a mail address.")
                            .arg(QString::fromLatin1(kMailFromValue)));
        return false;
    }
    return true;
}

std::string shownWebhook(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return "…";
    const std::size_t end = url.find_first_of("/?#", scheme + 3);
    std::string host =
        url.substr(scheme + 3, end == std::string::npos ? std::string::npos : end - scheme - 3);
    if (const std::size_t at = host.rfind('@'); at != std::string::npos)
        host.erase(0, at + 1);
    return url.substr(0, scheme + 3) + host + (end == std::string::npos ? "" : "/…");
}

bool postWebhook(const std::string& url, const std::string& json, const SendLimits& limits,
                 QString* error) {
    globalInit();
    CurlHandle c;
    const QString shown = q(shownWebhook(url));
    if (!c.h) {
        setError(error, QStringLiteral("The webhook %1 could not be called.").arg(shown));
        return false;
    }
    AnswerSink sink;
    sink.limit = limits.maxAnswerBytes;
    c.list = curl_slist_append(c.list, "Content-Type: application/json; charset=utf-8");
    curl_easy_setopt(c.h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c.h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c.h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c.h, CURLOPT_HTTPHEADER, c.list);
    curl_easy_setopt(c.h, CURLOPT_POSTFIELDS, json.data());
    curl_easy_setopt(c.h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(json.size()));
    curl_easy_setopt(c.h, CURLOPT_USERAGENT, "Tallowick!");
    curl_easy_setopt(c.h, CURLOPT_WRITEFUNCTION, keepAnswer);
    curl_easy_setopt(c.h, CURLOPT_WRITEDATA, &sink);
    applyLimits(c.h, limits);
    const CURLcode code = curl_easy_perform(c.h);
    long status = 0;
    curl_easy_getinfo(c.h, CURLINFO_RESPONSE_CODE, &status);
    if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && status >= 200 && status < 300)) {
        // The URL's path may be in curl's words; only the host is shown.
        QString why = c.reason(code);
        why.replace(q(url), shown);
        setError(error, QStringLiteral("The webhook %1 did not answer: %2").arg(shown, why));
        return false;
    }
    if (status < 200 || status >= 300) {
        setError(error, QStringLiteral("The webhook %1 answered HTTP %2%3.")
                            .arg(shown)
                            .arg(status)
                            .arg(status >= 300 && status < 400
                                     ? QStringLiteral(" (a redirection, which is not followed)")
                                     : QString()));
        return false;
    }
    return true;
}

bool sendMail(const MailServer& server, const std::vector<std::string>& to,
              const std::string& message, const SendLimits& limits, QString* error) {
    if (!checkMailServer(server, error))
        return false;
    globalInit();
    CurlHandle c;
    const QString shown = q(serverShown(server.url));
    if (!c.h) {
        setError(error, QStringLiteral("The mail server %1 could not be called.").arg(shown));
        return false;
    }
    const bool implicitTls = lowerAscii(server.url).starts_with("smtps://");
    curl_easy_setopt(c.h, CURLOPT_URL, server.url.c_str());
    curl_easy_setopt(c.h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    if (!implicitTls && !server.noTls)
        curl_easy_setopt(c.h, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!server.user.empty()) {
        curl_easy_setopt(c.h, CURLOPT_USERNAME, server.user.c_str());
        curl_easy_setopt(c.h, CURLOPT_PASSWORD, server.password.c_str());
    }
    const std::string from = "<" + server.from + ">";
    curl_easy_setopt(c.h, CURLOPT_MAIL_FROM, from.c_str());
    for (const std::string& address : to)
        c.list = curl_slist_append(c.list, ("<" + address + ">").c_str());
    curl_easy_setopt(c.h, CURLOPT_MAIL_RCPT, c.list);
    Upload upload{message};
    curl_easy_setopt(c.h, CURLOPT_READFUNCTION, giveUpload);
    curl_easy_setopt(c.h, CURLOPT_READDATA, &upload);
    curl_easy_setopt(c.h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c.h, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));
    applyLimits(c.h, limits);
    const CURLcode code = curl_easy_perform(c.h);
    if (code == CURLE_OK)
        return true;
    QString why;
    switch (code) {
    case CURLE_USE_SSL_FAILED:
        why = QStringLiteral("it does not offer STARTTLS, and the mail is not sent unencrypted "
                             "(use smtps:// if it takes TLS on port 465)");
        break;
    case CURLE_LOGIN_DENIED:
        why = QStringLiteral("it refused the login of \"%1\" (see %2 and %3)")
                  .arg(q(server.user), QString::fromLatin1(kSmtpUserValue),
                       QString::fromLatin1(kSmtpPasswordValue));
        break;
    default:
        why = c.reason(code);
    }
    setError(error,
             withoutSecrets(
                 QStringLiteral("The mail server %1 did not take the mail: %2").arg(shown, why),
                 server));
    return false;
}

DesktopResult notifyDesktop(const std::string& summary, const std::string& body, QString* error) {
    if (!sessionBusExists()) {
        setError(error, QStringLiteral("There is no desktop session bus."));
        return DesktopResult::NoService;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        setError(error, QStringLiteral("The desktop session bus does not answer."));
        return DesktopResult::NoService;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QString::fromLatin1(maker::kProduct) << uint(0) << QStringLiteral("tallowick")
         << q(summary) << q(body) << QStringList() << QVariantMap() << int(-1);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ErrorMessage)
        return DesktopResult::Shown;
    const QString name = reply.errorName();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        setError(error, QStringLiteral("No desktop notification service is running."));
        return DesktopResult::NoService;
    }
    setError(error, QStringLiteral("The desktop notification service refused it: %1")
                        .arg(reply.errorMessage().left(200)));
    return DesktopResult::Failed;
}

std::string composeMail(const MailServer& server, const std::vector<std::string>& to,
                        const AlertMessage& message, const QDateTime& now,
                        const MailAttachment* attachment) {
    return composeMail(server, to, message.subject(), message.text(), now, attachment);
}

std::string composeMail(const MailServer& server, const std::vector<std::string>& to,
                        const std::string& subject, const std::string& text, const QDateTime& now,
                        const MailAttachment* attachment) {
    std::string domain = server.from.substr(server.from.find('@') + 1);
    if (domain.empty() || server.from.find('@') == std::string::npos)
        domain = "localhost";
    const std::string id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    std::string mail;
    mail += "Date: " + rfc5322Date(now) + "\r\n";
    mail += "From: " + server.from + "\r\n";
    mail += "To: " + joinedAddresses(to) + "\r\n";
    mail += "Subject: " + encodedSubject(subject) + "\r\n";
    mail += "Message-ID: <" + id + "@" + domain + ">\r\n";
    mail += "MIME-Version: 1.0\r\n";
    std::string body = quotedPrintable(text);
    if (!body.ends_with("\r\n"))
        body += "\r\n";
    if (!attachment) {
        mail += "Content-Type: text/plain; charset=UTF-8\r\n";
        mail += "Content-Transfer-Encoding: quoted-printable\r\n";
        mail += "Auto-Submitted: auto-generated\r\n";
        mail += "\r\n";
        return mail + body;
    }
    // "=_" occurs in neither quoted-printable nor base64 text.
    const std::string boundary = "=_tallowick_" + id;
    mail += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n";
    mail += "Auto-Submitted: auto-generated\r\n";
    mail += "\r\n";
    mail += "--" + boundary + "\r\n";
    mail += "Content-Type: text/plain; charset=UTF-8\r\n";
    mail += "Content-Transfer-Encoding: quoted-printable\r\n";
    mail += "\r\n";
    mail += body;
    mail += "--" + boundary + "\r\n";
    mail += "Content-Type: " + attachment->contentType + "\r\n";
    mail +=
        "Content-Disposition: attachment;\r\n " + fileNameParameters(attachment->fileName) + "\r\n";
    mail += "Content-Transfer-Encoding: base64\r\n";
    mail += "\r\n";
    mail += base64Lines(attachment->bytes);
    mail += "--" + boundary + "--\r\n";
    return mail;
}

std::string reportSubject(const AlertMessage& message) {
    return "Rank report: " + message.list;
}

std::string reportText(const AlertMessage& message) {
    return "The rank report of " + message.list + " after the run of " +
           message.run.toString(QStringLiteral("yyyy-MM-dd HH:mm")).toStdString() +
           " is attached. No alert rule was triggered by this run.\n";
}

std::string reportFileName(const AlertMessage& message) {
    const QString list = q(message.list);
    QString base = QFileInfo(list).completeBaseName();
    if (base.isEmpty())
        base = list;
    return (base + QStringLiteral(" rank report ") +
            message.run.date().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".pdf"))
        .toStdString();
}

std::string desktopBody(const AlertMessage& message) {
    constexpr std::size_t kLines = 8;
    std::string body;
    std::size_t listed = 0;
    for (const Alert& a : message.alerts) {
        if (listed == kLines)
            break;
        body += (listed ? "\n" : "") + a.url + " \"" + a.keywords + "\", " + a.engine + ": " +
                describe(a) + " (" + a.newText + ")";
        ++listed;
    }
    if (message.alerts.size() > listed)
        body += "\nand " + std::to_string(message.alerts.size() - listed) + " more";
    // Many notification services read the body as markup.
    std::string out;
    for (char ch : body) {
        if (ch == '&')
            out += "&amp;";
        else if (ch == '<')
            out += "&lt;";
        else if (ch == '>')
            out += "&gt;";
        else
            out += ch;
    }
    return out;
}

std::vector<ChannelOutcome> sendAlerts(const AlertConfig& config, const AlertMessage& message,
                                       const SendOptions& options) {
    std::vector<ChannelOutcome> out;
    const bool mailsReport =
        !config.mailTo.empty() && (options.report || !options.reportError.isEmpty());
    if (message.alerts.empty() && !mailsReport)
        return out;
    const auto tried = [&](ChannelOutcome& o, const std::function<bool(QString*)>& once) {
        if (options.dryRun) {
            o.skipped = true;
            return;
        }
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (attempt > 0 && std::size_t(attempt - 1) < options.limits.pausesMs.size())
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(options.limits.pausesMs[attempt - 1]));
            ++o.tries;
            o.error.clear();
            if (once(&o.error)) {
                o.sent = true;
                return;
            }
        }
    };
    const QString mailTarget = q(joinedAddresses(config.mailTo));
    if (!options.reportError.isEmpty() && !config.mailTo.empty()) {
        ChannelOutcome o;
        o.channel = Channel::Mail;
        o.target = QStringLiteral("the rank report for %1").arg(mailTarget);
        o.error = options.reportError;
        out.push_back(std::move(o));
    }
    // No rule was triggered: the report goes alone.
    if (message.alerts.empty()) {
        if (!options.report)
            return out;
        ChannelOutcome o;
        o.channel = Channel::Mail;
        o.target = QStringLiteral("the rank report by mail to %1").arg(mailTarget);
        const MailAttachment& report = *options.report;
        o.attachmentName = report.fileName;
        o.attachmentBytes = qint64(report.bytes.size());
        const QDateTime now = options.now.isValid() ? options.now : QDateTime::currentDateTime();
        const std::string subject = reportSubject(message), text = reportText(message);
        o.payload = composeMail(options.mail, config.mailTo, subject, text, now,
                                options.dryRun ? nullptr : &report);
        QString problem;
        if (!options.dryRun && !checkMailServer(options.mail, &problem)) {
            o.error = problem;
        } else {
            tried(o, [&](QString* error) {
                return sendMail(options.mail, config.mailTo, o.payload, options.limits, error);
            });
        }
        o.error = withoutSecrets(o.error, options.mail);
        out.push_back(std::move(o));
        return out;
    }
    if (!config.webhook.empty()) {
        ChannelOutcome o;
        o.channel = Channel::Webhook;
        o.target = QStringLiteral("the webhook %1").arg(q(shownWebhook(config.webhook)));
        o.payload = message.webhookJson();
        tried(o, [&](QString* error) {
            return postWebhook(config.webhook, o.payload, options.limits, error);
        });
        out.push_back(std::move(o));
    }
    if (!config.mailTo.empty()) {
        ChannelOutcome o;
        o.channel = Channel::Mail;
        o.target = QStringLiteral("mail to %1").arg(mailTarget);
        const MailAttachment* report = options.report ? &*options.report : nullptr;
        if (report) {
            o.attachmentName = report->fileName;
            o.attachmentBytes = qint64(report->bytes.size());
        }
        // A dry run shows the mail without the file's base64 lines.
        o.payload = composeMail(options.mail, config.mailTo, message,
                                options.now.isValid() ? options.now : QDateTime::currentDateTime(),
                                options.dryRun ? nullptr : report);
        QString problem;
        if (!options.dryRun && !checkMailServer(options.mail, &problem)) {
            o.error = problem; // no server to try: told at once
        } else {
            tried(o, [&](QString* error) {
                return sendMail(options.mail, config.mailTo, o.payload, options.limits, error);
            });
        }
        out.push_back(std::move(o));
    }
    if (config.desktop) {
        ChannelOutcome o;
        o.channel = Channel::Desktop;
        o.target = QStringLiteral("the desktop notification");
        o.payload = message.subject() + "\n" + desktopBody(message);
        if (options.dryRun) {
            o.skipped = true;
        } else {
            for (int attempt = 0; attempt < 3 && !o.sent; ++attempt) {
                if (attempt > 0 && std::size_t(attempt - 1) < options.limits.pausesMs.size())
                    std::this_thread::sleep_for(
                        std::chrono::milliseconds(options.limits.pausesMs[attempt - 1]));
                ++o.tries;
                o.error.clear();
                const DesktopResult r =
                    notifyDesktop(message.subject(), desktopBody(message), &o.error);
                o.sent = r == DesktopResult::Shown;
                if (r == DesktopResult::NoService) {
                    o.skipped = true; // nothing to show it on: no failure of the run
                    break;
                }
            }
        }
        out.push_back(std::move(o));
    }
    for (ChannelOutcome& o : out)
        o.error = withoutSecrets(o.error, options.mail);
    return out;
}

QString failureLine(const ChannelOutcome& o) {
    // A try's reason names the channel itself.
    if (o.tries > 0)
        return QStringLiteral("%1 (tried %2 times)").arg(o.error).arg(o.tries);
    return QStringLiteral("%1 could not be sent: %2").arg(o.target, o.error);
}

} // namespace tw::alerts
