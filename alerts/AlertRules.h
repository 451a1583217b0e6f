#pragma once
// A list's alert rules and where their message goes, kept beside the data file in
// "NAME.alerts.ini"; which rules a run's new results trigger against each entry's previous ones,
// and the message that lists them. No file: no alerts. Free of widgets and of the network.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::alerts {

// The bounds of a rule's number: a rank, a number of places, a position among the sites above
// (the history keeps 100 of them).
inline constexpr int kMaxRank = 1000;
inline constexpr int kMaxNewAbove = 100;
// A longer file is no rule file.
inline constexpr qint64 kMaxFileBytes = 64 * 1024;

struct AlertConfig {
    // [rules]
    std::vector<int> top; // ascending, each once: leaves or enters the top N
    int moved = 0;        // 0: off; else moves N places or more either way
    int newAbove = 0;     // 0: off; else a site new above the target within the top N
    bool errors = false;  // a column reads "error"
    // [send]
    std::string webhook;             // empty: none; http:// or https://
    std::vector<std::string> mailTo; // addresses
    bool desktop = false;
    bool mailReport = false; // a report attached to the mail (kept, read by the report mail)

    bool hasRules() const { return !top.empty() || moved > 0 || newAbove > 0 || errors; }
    bool hasChannels() const { return !webhook.empty() || !mailTo.empty() || desktop; }
    bool operator==(const AlertConfig&) const = default;
};

// "list.dat" -> "list.alerts.ini" beside it.
QString alertsPathFor(const QString& dataFilePath);

// Reads the rule file's text. A value that cannot be used fails the whole file with a message
// naming its line; a key or section this program does not know is skipped with a line in
// warnings.
bool parseAlerts(std::string_view text, AlertConfig* out, QStringList* warnings, QString* error);
// The file's text for config: every key, commented, so the user can edit it by hand.
std::string formatAlerts(const AlertConfig& config);

// The rules of the list at dataFilePath. *out stays empty when the list has no rule file.
// False when the file exists but cannot be read or used; error then names the file.
bool readAlerts(const QString& dataFilePath, std::optional<AlertConfig>* out, QStringList* warnings,
                QString* error);
// Writes the rule file safely (the old one stays whole until the new one is complete).
bool writeAlerts(const QString& dataFilePath, const AlertConfig& config, QString* error);

// Checks of single values, for the Alerts dialog as for the file.
bool isWebhookUrl(std::string_view url);
bool isMailAddress(std::string_view address);
// "3, 10" -> {3, 10}: ranks from 1 to kMaxRank, sorted, each once; false saying what it takes.
bool parseTopList(std::string_view text, std::vector<int>* out, QString* error);
// "a@x.example, b@y.example" -> the addresses; false naming the first that is not one.
bool parseMailList(std::string_view text, std::vector<std::string>* out, QString* error);

// One slot's result as a run or the history has it.
struct SlotResult {
    std::string text;                    // "Rank 8 / Page 1", "not found", "error"
    std::optional<int> rank;             // the target's rank; empty when not ranked
    std::vector<std::string> sitesAbove; // the results above the target, in order
};

// One slot of one entry after a run: what it reads now and what it read before (none: the
// history holds no earlier result for it).
struct SlotChange {
    std::string url;
    std::string keywords;
    std::string slotKey; // "google"
    std::string engine;  // "Google", or the engine the slot was ranked on
    std::optional<SlotResult> previous;
    SlotResult current;
};

// A rule that one slot's change triggered.
struct Alert {
    std::string rule; // "top", "moved", "new_above", "errors"
    int n = 0;        // the rule's number; 0 for "errors"
    std::string url;
    std::string keywords;
    std::string slotKey;
    std::string engine;
    std::string oldText; // empty when there was no earlier result
    std::string newText;
    bool entered = false;           // top: entered (else left) the top n
    int oldRank = 0, newRank = 0;   // moved: the two ranks
    std::vector<std::string> sites; // new_above: the sites new above the target
};

// The rules the changes trigger, in the order of the changes and, per change, of the rules.
// Only results that are a rank or "not found" count for top, two ranks for moved and new_above;
// "error" and a missing earlier result tell nothing about a move.
std::vector<Alert> evaluate(const AlertConfig& config, const std::vector<SlotChange>& changes);

// The site of a result address as compared for new_above: its host in lower case, without
// "www.".
std::string siteOf(std::string_view address);

// A message lists this many alerts and says how many more there are.
inline constexpr std::size_t kMaxListedAlerts = 500;

// One run's alerts as every channel sends them.
struct AlertMessage {
    std::string list; // the data file's name
    QDateTime run;    // the run's start
    std::vector<Alert> alerts;

    std::string subject() const; // "Tallowick!: 3 alerts for list.dat"
    std::string text() const;    // plain text, LF line ends: one line per alert
    std::string webhookJson() const;
};

// "entered the top 3", "moved 6 places (up)", "error", ... : what the alert says happened.
std::string describe(const Alert& alert);

} // namespace tw::alerts
