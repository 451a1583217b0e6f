#pragma once
// Where a run's alerts go: a webhook (an HTTP POST of JSON), a mail through the user's SMTP
// server, and a desktop notification through the freedesktop notification service. Each channel
// is tried three times before it counts as failed. What is shown of a channel never holds a
// secret: the SMTP password is never written out, and of a webhook address only the scheme and
// host are shown (its path and query often are the hook's token).

#include "alerts/AlertRules.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace tw::alerts {

// The per-user mail server, in the settings store.
inline constexpr const char* kSmtpUrlValue = "SmtpUrl";
inline constexpr const char* kSmtpUserValue = "SmtpUser";
inline constexpr const char* kSmtpPasswordValue = "SmtpPassword";
inline constexpr const char* kMailFromValue = "MailFrom";
inline constexpr const char* kSmtpNoTlsValue = "SmtpNoTls";
// Wins over the stored password, as the providers' keys do, for scheduled runs.
inline constexpr const char* kEnvSmtpPassword = "TALLOWICK_SMTP_PASSWORD";

struct MailServer {
    std::string url;      // smtp://host:587 (STARTTLS required) or smtps://host:465
    std::string user;     // empty: no login
    std::string password; // a secret
    std::string from;     // the sender's address
    // Without TLS: only for a server on this computer (a local relay that offers none).
    bool noTls = false;
    bool operator==(const MailServer&) const = default;
};

// The stored mail server; with environment, the environment's password over the stored one.
MailServer readMailServer(bool environment = true);
bool writeMailServer(const MailServer& server, QString* error);
// Whether mail can be sent through server; false with what is missing or wrong.
bool checkMailServer(const MailServer& server, QString* error);

// How long a channel may take and how often it is tried.
struct SendLimits {
    long connectTimeoutMs = 10000;
    long timeoutMs = 30000;
    long maxAnswerBytes = 64 * 1024;       // of a webhook's answer; the rest is not read
    std::vector<int> pausesMs{1000, 3000}; // before the second and the third try
};

// One try of each channel. False with the reason (free of secrets).
bool postWebhook(const std::string& url, const std::string& json, const SendLimits& limits,
                 QString* error);
bool sendMail(const MailServer& server, const std::vector<std::string>& to,
              const std::string& message, const SendLimits& limits, QString* error);
enum class DesktopResult { Shown, NoService, Failed };
DesktopResult notifyDesktop(const std::string& summary, const std::string& body, QString* error);

// A file sent along with a mail.
struct MailAttachment {
    std::string fileName; // UTF-8, without a folder
    std::string contentType = "application/pdf";
    std::string bytes;
};

// The report mailed with mail_report=yes: a larger one is not attached.
inline constexpr qint64 kMaxReportBytes = 20 * 1024 * 1024;

// The whole mail as it goes to the server: headers (Date, Message-ID, a UTF-8 subject) and the
// text, quoted-printable, CR LF line ends. With an attachment, a multipart/mixed mail of the
// text and the file (base64).
std::string composeMail(const MailServer& server, const std::vector<std::string>& to,
                        const std::string& subject, const std::string& text, const QDateTime& now,
                        const MailAttachment* attachment = nullptr);
std::string composeMail(const MailServer& server, const std::vector<std::string>& to,
                        const AlertMessage& message, const QDateTime& now,
                        const MailAttachment* attachment = nullptr);
// The mail of a report when no rule was triggered: "Rank report: list.dat" and a short text.
std::string reportSubject(const AlertMessage& message);
std::string reportText(const AlertMessage& message);
// "shop rank report 2026-12-08.pdf" for the list "shop.dat" run on that day.
std::string reportFileName(const AlertMessage& message);
// The notification's body: the first alert lines, plain (markup characters escaped).
std::string desktopBody(const AlertMessage& message);
// A webhook address as shown: "https://hooks.example/…".
std::string shownWebhook(const std::string& url);

enum class Channel { Webhook, Mail, Desktop };

struct ChannelOutcome {
    Channel channel = Channel::Webhook;
    QString target; // "the webhook https://hooks.example/…", "mail to a@x.example"
    bool sent = false;
    bool skipped = false; // not tried: a desktop notification without a session bus
    int tries = 0;
    QString error;              // why it failed or was skipped
    std::string payload;        // what was sent (or, on a dry run, would be; without an attachment)
    std::string attachmentName; // the report attached to the mail, if any
    qint64 attachmentBytes = 0;
    bool failed() const { return !sent && !skipped; }
};

struct SendOptions {
    bool dryRun = false; // compose only
    MailServer mail;
    SendLimits limits;
    QDateTime now; // the mail's Date; invalid: the current time
    // The report to mail (mail_report=yes): attached to the alert mail, or in a mail of its own
    // when no rule was triggered. reportError: it was wanted but could not be made.
    std::optional<MailAttachment> report;
    QString reportError;
};

// Sends message through every channel config names (nothing when it holds no alert and there is
// no report to mail).
std::vector<ChannelOutcome> sendAlerts(const AlertConfig& config, const AlertMessage& message,
                                       const SendOptions& options);

// "The mail server ... did not take the mail: ... (tried 3 times)" for a failed channel.
QString failureLine(const ChannelOutcome& outcome);

} // namespace tw::alerts
