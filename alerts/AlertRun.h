#pragma once
// The alerts step of a ranking run: the list's rules are read before the run, each result is
// noted as the run writes it, and after the run the rules are checked against each entry's
// previous result in the history and their message sent (or, on a dry run, only composed).

#include "alerts/AlertSend.h"
#include "history/HistoryStore.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tw::alerts {

struct AlertsOutcome {
    bool ruled = false;       // the list has a rule file with rules and channels
    bool mailsReport = false; // the rule file asks for the report by mail (mail_report, mail_to)
    QString error;            // the rule file could not be used: nothing was checked or sent
    QStringList warnings;
    bool dryRun = false;
    AlertMessage message;                 // the triggered rules; none: nothing was sent
    std::vector<ChannelOutcome> channels; // one per channel the file names
    bool failed() const;
    // One line per failed channel (and for a rule file that cannot be used).
    QStringList failureLines() const;
};

class CAlertCheck {
public:
    // Reads the rules of the list at dataFilePath into outcome. True when the run's results are
    // to be noted (the file has rules and a channel).
    bool Prepare(const QString& dataFilePath, AlertsOutcome* outcome);
    // A result the run has written into row. Any thread.
    void Note(int row, const std::string& url, const std::string& keywords,
              const HistoryResult& result);

    // The slot's result recorded before the run, with its sites above.
    using PreviousFn = std::function<std::optional<HistoryRecord>(
        const std::string& url, const std::string& keywords, const EntryWhere& where, int slot)>;
    // Writes the list's report as a PDF at pdfPath; false with the reason.
    using ReportWriter = std::function<bool(const QString& pdfPath, QString* error)>;
    // Checks the rules and sends; waits on pump (the caller's events) while a channel is tried.
    // With writeReport and a rule file that asks for it, the report is written to a temporary
    // file and mailed (with the alerts, or alone), also on a dry run, which only shows its size.
    void Finish(const PreviousFn& previous, const QDateTime& run, SendOptions options,
                const std::function<void()>& pump, AlertsOutcome* outcome,
                const ReportWriter& writeReport = {});

private:
    struct Noted {
        int row = 0;
        std::string url;
        std::string keywords;
        EntryWhere where;
        int slot = 0;
        std::string engine;
        SlotResult current;
    };
    QString m_list;
    AlertConfig m_config;
    std::mutex m_lock;
    std::vector<Noted> m_noted; // under m_lock
};

} // namespace tw::alerts
