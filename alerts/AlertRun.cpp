#include "alerts/AlertRun.h"

#include "base/Engines.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>

namespace tw::alerts {

bool AlertsOutcome::failed() const {
    return !error.isEmpty() || std::any_of(channels.begin(), channels.end(),
                                           [](const ChannelOutcome& c) { return c.failed(); });
}

QStringList AlertsOutcome::failureLines() const {
    QStringList lines;
    if (!error.isEmpty())
        lines << error;
    for (const ChannelOutcome& c : channels)
        if (c.failed())
            lines << QStringLiteral("Alerts: %1").arg(failureLine(c));
    return lines;
}

bool CAlertCheck::Prepare(const QString& dataFilePath, AlertsOutcome* outcome) {
    std::optional<AlertConfig> config;
    if (!readAlerts(dataFilePath, &config, &outcome->warnings, &outcome->error) || !config)
        return false;
    m_config = *config;
    m_list = QFileInfo(dataFilePath).fileName();
    outcome->mailsReport = m_config.mailReport && !m_config.mailTo.empty();
    outcome->ruled = m_config.hasRules() && m_config.hasChannels();
    return outcome->ruled;
}

void CAlertCheck::Note(int row, const std::string& url, const std::string& keywords,
                       const HistoryResult& result) {
    Noted n;
    n.row = row;
    n.url = url;
    n.keywords = keywords;
    n.where = result.where;
    n.slot = result.slot;
    n.engine = result.engine;
    n.current.text = result.text;
    n.current.rank = result.rank;
    // Only new_above reads the sites; a long list is not held twice without need.
    if (m_config.newAbove > 0)
        n.current.sitesAbove.assign(
            result.sitesAbove.begin(),
            result.sitesAbove.begin() +
                std::min<std::size_t>(result.sitesAbove.size(), std::size_t(m_config.newAbove)));
    std::lock_guard<std::mutex> lock(m_lock);
    m_noted.push_back(std::move(n));
}

namespace {

// The report written into a temporary folder (removed again at once) and read back.
std::optional<MailAttachment> writtenReport(const CAlertCheck::ReportWriter& write,
                                            const std::string& fileName, QString* error) {
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        *error = QStringLiteral("The rank report could not be written: no temporary folder (%1).")
                     .arg(scratch.errorString());
        return std::nullopt;
    }
    const QString path = scratch.filePath(QStringLiteral("report.pdf"));
    QString why;
    if (!write(path, &why)) {
        *error = QStringLiteral("The rank report could not be written: %1")
                     .arg(why.isEmpty() ? QStringLiteral("no reason given.") : why);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error =
            QStringLiteral("The rank report could not be read back: %1.").arg(file.errorString());
        return std::nullopt;
    }
    if (file.size() > kMaxReportBytes) {
        *error = QStringLiteral("The rank report (%1 MB) is larger than the %2 MB a mail takes; "
                                "it was not attached.")
                     .arg(double(file.size()) / (1024 * 1024), 0, 'f', 1)
                     .arg(kMaxReportBytes / (1024 * 1024));
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size() || bytes.isEmpty()) {
        *error = bytes.isEmpty() ? QStringLiteral("The rank report came out empty.")
                                 : QStringLiteral("The rank report could not be read back: %1.")
                                       .arg(file.errorString());
        return std::nullopt;
    }
    MailAttachment a;
    a.fileName = fileName;
    a.bytes = bytes.toStdString();
    return a;
}

} // namespace

void CAlertCheck::Finish(const PreviousFn& previous, const QDateTime& run, SendOptions options,
                         const std::function<void()>& pump, AlertsOutcome* outcome,
                         const ReportWriter& writeReport) {
    std::vector<Noted> noted;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        noted.swap(m_noted);
    }
    // In the order of the list, then of the columns, whatever order the workers ended in.
    std::stable_sort(noted.begin(), noted.end(), [](const Noted& a, const Noted& b) {
        return std::tie(a.row, a.slot) < std::tie(b.row, b.slot);
    });
    std::vector<SlotChange> changes;
    changes.reserve(noted.size());
    for (Noted& n : noted) {
        SlotChange c;
        c.url = std::move(n.url);
        c.keywords = std::move(n.keywords);
        c.slotKey = n.slot >= 0 && n.slot < kEngineCount ? engines::Info(SearchEngine(n.slot)).key
                                                         : std::to_string(n.slot);
        c.engine = std::move(n.engine);
        c.current = std::move(n.current);
        if (previous) {
            if (const std::optional<HistoryRecord> before =
                    previous(c.url, c.keywords, n.where, n.slot)) {
                SlotResult r;
                r.text = before->result.text;
                r.rank = before->result.rank;
                r.sitesAbove = before->result.sitesAbove;
                c.previous = std::move(r);
            }
        }
        changes.push_back(std::move(c));
    }
    outcome->dryRun = options.dryRun;
    outcome->message.list = m_list.toStdString();
    outcome->message.run = run;
    outcome->message.alerts = evaluate(m_config, changes);
    if (outcome->mailsReport && writeReport) {
        // On the caller's thread: the writer may need its application's fonts and painters.
        options.report =
            writtenReport(writeReport, reportFileName(outcome->message), &options.reportError);
    }
    if (outcome->message.alerts.empty() && !options.report && options.reportError.isEmpty())
        return;
    if (!m_config.mailTo.empty())
        options.mail = readMailServer();

    // The channels wait on the network; the caller's window or progress goes on meanwhile.
    std::atomic<bool> done{false};
    std::vector<ChannelOutcome> sent;
    std::thread sender([&] {
        sent = sendAlerts(m_config, outcome->message, options);
        done = true;
    });
    while (!done.load()) {
        if (pump)
            pump();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    sender.join();
    outcome->channels = std::move(sent);
}

} // namespace tw::alerts
