// tallowick-rank: ranks the entries of a data file without a window, with the window's own run,
// scans and fetcher, and writes the results back into the data file.

#include "alerts/AlertRules.h"
#include "base/Maker.h"
#include "base/PageFetcher.h"
#include "base/ShownText.h"
#include "cli/CliOptions.h"
#include "cli/CliResults.h"
#include "cli/SerpCsv.h"
#include "data/Competitors.h"
#include "data/DataFile.h"
#include "data/DataFileSession.h"
#include "data/EntryListModel.h"
#include "data/OutputFile.h"
#include "exchange/Export.h"
#include "exchange/Import.h"
#include "history/HistoryStore.h"
#include "history/HistoryText.h"
#include "rank/EntryModelRows.h"
#include "rank/LastRun.h"
#include "rank/RankProgress.h"
#include "rank/RankRun.h"
#include "rank/RankSearch.h"
#include "rank/RankSources.h"
#include "rank/RunPipeline.h"
#include "reports/ReportFiles.h"
#include "results/Report.h"
#include "schedule/LastRun.h"
#include "schedule/Schedules.h"
#include "settings/RegistrySettings.h"
#include "settings/SearchSettings.h"
#include "settings/ServiceAddresses.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <pthread.h>
#include <set>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

using namespace cli;

namespace {

constexpr int kPumpMs = 50;

// Set by the signal thread; read by the scans before every page.
std::atomic<int> g_nStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

// What a second stop signal removes before it ends the process at once: the run's scratch
// folder and the data file's lock file. The main thread withdraws each under this mutex before
// it removes the thing itself, so the signal thread never removes what is already gone or has
// become another program's (a lock taken after ours was let go).
std::mutex g_exitMutex;
QString g_exitScratchDir; // guarded by g_exitMutex
QString g_exitLockFile;   // guarded by g_exitMutex

// On the signal thread, right before the process ends; the mutex is kept to the end.
void RemoveBeforeAbruptExit() {
    g_exitMutex.lock();
    if (!g_exitScratchDir.isEmpty()) {
        // A worker may be writing a page there this moment; another pass takes what it added.
        for (int pass = 0; pass < 3 && !QDir(g_exitScratchDir).removeRecursively(); ++pass) {
        }
    }
    if (!g_exitLockFile.isEmpty())
        QFile::remove(g_exitLockFile);
}

// Registers the data file's lock file for removal at an abrupt end for as long as it lives;
// declared after the lock's holder, so that it is withdrawn before the lock is let go.
class CExitLockRegistration {
public:
    explicit CExitLockRegistration(const datafile::CDataFileSession& dataFile) {
        if (!dataFile.IsLocked())
            return;
        std::lock_guard<std::mutex> lock(g_exitMutex);
        g_exitLockFile = dataFile.lockFilePath();
    }
    ~CExitLockRegistration() { Withdraw(); }
    CExitLockRegistration(const CExitLockRegistration&) = delete;
    CExitLockRegistration& operator=(const CExitLockRegistration&) = delete;

    void Withdraw() {
        std::lock_guard<std::mutex> lock(g_exitMutex);
        g_exitLockFile.clear();
    }
};

// Ctrl-C and a polite kill cancel the run like the Cancel button. They are taken by one thread
// with sigwait, so no other thread is ever interrupted by them. A second one ends the process
// at once; the data file is then left as it was, since it is only written at the end.
void StartSignalThread(const sigset_t& stopSignals) {
    std::thread([stopSignals] {
        for (;;) {
            int received = 0;
            if (sigwait(&stopSignals, &received) != 0)
                continue;
            int expected = 0;
            if (!g_nStopSignal.compare_exchange_strong(expected, received)) {
                static const char kMsg[] = "\ntallowick-rank: stopped at once\n";
                [[maybe_unused]] auto n = write(STDERR_FILENO, kMsg, sizeof kMsg - 1);
                RemoveBeforeAbruptExit();
                std::_Exit(128 + received);
            }
        }
    }).detach();
}

QString OneLine(QString text) {
    text.replace(QLatin1String("\r"), QLatin1String(" "));
    text.replace(QLatin1String("\n\n"), QLatin1String(" "));
    text.replace(QLatin1String("\n"), QLatin1String(" "));
    return text.simplified();
}

// The first failure told, for the last-run file: it is what the run's status stands for.
QString g_firstFailure;

void Tell(const QString& message) {
    std::fprintf(stderr, "tallowick-rank: %s\n",
                 tw::shownText(OneLine(message)).toLocal8Bit().constData());
}

// A message may carry what a provider or a page sent: its controls are shown as escapes.
void Fail(const QString& message) {
    if (g_firstFailure.isEmpty())
        g_firstFailure = tw::shownText(OneLine(message));
    Tell(message);
}

// Whether path can be written. An existing device or pipe is written in place and only has to
// take writes. Anything else is replaced atomically: the file (if any) must be writable and its
// folder must take the temporary file that replaces it, which is tried with a file that is
// removed at once, since permission bits say nothing for the superuser or a read-only file
// system. With inPlace, a writable file in a folder that refuses new files passes too, as the
// data file's save then writes it in place.
bool CanWrite(const QString& path, QString& reason, bool inPlace = false) {
    const QFileInfo info(path);
    const QByteArray native = QFile::encodeName(path);
    if (info.isDir()) {
        reason = QStringLiteral("Is a directory");
        return false;
    }
    if (outputfile::IsSpecial(path)) {
        if (::access(native.constData(), W_OK) == 0)
            return true;
        reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (info.exists() && !info.isWritable()) {
        reason = QStringLiteral("Permission denied");
        return false;
    }
    if (!QFileInfo(info.absolutePath()).isDir()) {
        reason = QStringLiteral("No such directory");
        return false;
    }
    QByteArray probe =
        QFile::encodeName(info.absolutePath() + QStringLiteral("/.tallowick-rank-XXXXXX"));
    const int fd = ::mkstemp(probe.data());
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.constData());
        return true;
    }
    const int probeError = errno;
    if (inPlace && probeError == EACCES && info.isFile()) {
        // Opened to see that it can be, not changed.
        const int out = ::open(native.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (out >= 0) {
            ::close(out);
            return true;
        }
    }
    reason = QString::fromLocal8Bit(std::strerror(probeError));
    return false;
}

bool WriteOutput(const QString& path, const std::string& bytes, QString& error) {
    if (path == kStdout) {
        const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
                        std::fflush(stdout) == 0;
        if (!ok)
            error = QStringLiteral("Standard output could not be written.");
        return ok;
    }
    QString reason;
    const bool ok = outputfile::Write(path, bytes.data(), qint64(bytes.size()), &reason);
    if (!ok)
        error = QStringLiteral("\"%1\" could not be written: %2")
                    .arg(datafile::DisplayPath(path), reason);
    return ok;
}

// The rows of the run in the entry store, with a record of what each engine came to.
class CCliRows : public CEntryModelRows {
public:
    CCliRows(EntryListModel& model, const std::vector<RankTarget>& targets)
        : CEntryModelRows(model) {
        for (const RankTarget& t : targets)
            m_ranked[t.row].row = t.row;
    }

    void SetCell(int row, int col, const std::string& text) override {
        if (col == ColUrl) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_started.insert(row);
        }
        CEntryModelRows::SetCell(row, col, text);
    }

    void EngineFinished(const EngineOutcome& outcome) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        RankedRow& r = m_ranked[outcome.row];
        r.engines[outcome.engine] = outcome;
        r.ended[outcome.engine] = true;
        if (outcome.engine == kEngineCount - 1)
            m_finished.push_back(outcome.row);
    }

    // Rows whose ranking ended since the last call, in the order they ended.
    std::vector<RankedRow> TakeFinished() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<RankedRow> out;
        for (int row : m_finished)
            out.push_back(m_ranked[row]);
        m_finished.clear();
        return out;
    }

    // Rows whose worker started, in row order, taken out (a long list is not held twice). Once,
    // after the run.
    std::vector<RankedRow> TakeStarted() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<RankedRow> out;
        out.reserve(m_started.size());
        for (int row : m_started) {
            auto node = m_ranked.extract(row);
            out.push_back(node ? std::move(node.mapped()) : RankedRow{row, {}, {}, {}});
        }
        m_ranked.clear();
        return out;
    }

private:
    // Taken by workers inside g_hListLock and by the main thread alone, never the other way.
    std::mutex m_mutex;
    std::map<int, RankedRow> m_ranked;
    std::set<int> m_started;
    std::vector<int> m_finished;
};

// Progress on standard error: one updating line on a terminal, one line per entry elsewhere.
class CCliProgress : public IRankProgress {
public:
    CCliProgress(bool quiet, int total)
        : m_bQuiet(quiet), m_bTerminal(!quiet && isatty(STDERR_FILENO)), m_nTotal(total) {
        m_clock.start();
    }

    void ReportPage(int, const std::string& pageLine, const std::string& urlCaption) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_strPage = pageLine;
        m_strUrl = urlCaption;
    }

    bool IsCancelled() const override { return g_nStopSignal.load() != 0; }
    void ReportCalls(int total) override { m_nCalls = total; }

    // On the main thread while the run waits.
    void Update(const std::vector<EntryRow>& rows, const std::vector<RankedRow>& finished) {
        for (const RankedRow& r : finished) {
            ++m_nDone;
            if (!m_bQuiet && !m_bTerminal)
                std::fprintf(stderr, "%s\n", EntryLine(rows, r, m_nDone, m_nTotal).c_str());
        }
        if (IsCancelled() && !m_bCancelShown) {
            m_bCancelShown = true;
            if (!m_bQuiet) {
                ClearLine();
                std::fprintf(stderr, "Cancelling: the pages being read finish, nothing new starts "
                                     "(Ctrl-C again stops at once).\n");
            }
        }
        if (!m_bTerminal)
            return;
        std::string page, url;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            page = m_strPage;
            url = m_strUrl;
        }
        std::string line = ProgressCount(m_nDone, m_nTotal, double(m_clock.elapsed()) / 1000);
        if (const int calls = m_nCalls.load(); calls > 0)
            line += " calls: " + std::to_string(calls);
        if (!page.empty())
            line.append(" ").append(Printable(page)).append("  ").append(Printable(url));
        winsize ws{};
        std::size_t width = 80;
        if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1)
            width = ws.ws_col;
        if (line.size() >= width)
            line.resize(width - 1);
        if (m_bLineShown && line == m_strShown)
            return;
        m_strShown = line;
        std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
        std::fflush(stderr);
        m_bLineShown = true;
    }

    void ClearLine() {
        if (m_bLineShown) {
            std::fputs("\r\x1b[K", stderr);
            std::fflush(stderr);
            m_bLineShown = false;
        }
    }

private:
    const bool m_bQuiet;
    const bool m_bTerminal;
    const int m_nTotal;
    int m_nDone = 0;
    std::atomic<int> m_nCalls{0};
    bool m_bLineShown = false;
    bool m_bCancelShown = false;
    std::mutex m_mutex;
    std::string m_strPage;
    std::string m_strUrl;
    std::string m_strShown; // the line on the terminal now
    QElapsedTimer m_clock;  // since the run began, for the time left
};

bool WriteCsvTable(const QString& path, const std::vector<EntryRow>& rows, QString& error) {
    return tw::exchange::writeCsv(
        path, tw::exchange::exportCsv(rows, tw::exchange::engineSlotLabels()), &error);
}

// Whether each named output file (not standard output) can be written; tells why not.
bool OutputsWritable(std::initializer_list<QString> paths) {
    QString reason;
    for (const QString& path : paths) {
        if (!path.isEmpty() && path != kStdout && !CanWrite(path, reason)) {
            Fail(QStringLiteral("\"%1\" could not be written: %2")
                     .arg(datafile::DisplayPath(path), reason));
            return false;
        }
    }
    return true;
}

// An output file's name made absolute; empty and "-" (standard output) stay as they are.
QString AbsoluteOutput(const QString& name) {
    return name.isEmpty() || name == kStdout ? name : QFileInfo(name).absoluteFilePath();
}

// The sites ranked beside the targets: --competitors, else the list's competitors file when an
// output shows them. False, with the message shown, when the file cannot be read or is not valid.
bool RunCompetitors(const CliOptions& options, const QString& dataPath,
                    std::vector<std::string>* sites, const QString& nothingDone) {
    sites->clear();
    if (options.competitors) {
        *sites = *options.competitors;
        return true;
    }
    if (options.jsonFile.isEmpty() && options.serpCsvFile.isEmpty())
        return true;
    QString error;
    if (datafile::ReadCompetitors(datafile::CompetitorsPath(dataPath), sites, &error))
        return true;
    Fail(error + QLatin1Char(' ') + nothingDone);
    return false;
}

// The options of an entry that names none: those of the run's sources.
datafile::EntryDefaults RunDefaults(const tw::sources::SourceSettings& sources) {
    datafile::EntryDefaults defaults;
    defaults.country = sources.config.country;
    defaults.language = sources.config.language;
    defaults.device = sources.config.device;
    defaults.location = sources.config.location;
    return defaults;
}

// What the command line asks of a report: its tags and period; depth 0: the saved one.
tw::reports::ReportOptions ReportOptionsOf(const CliOptions& options, int depth) {
    tw::reports::ReportOptions report;
    report.tags = options.tags;
    report.periodDays = options.periodDays;
    report.depth = depth;
    return report;
}

// --html and --pdf: the client report of the list's rows (with --tag, of the tagged ones), from
// its history. False when one could not be written; the reason is shown.
bool WriteClientReports(const CliOptions& options, const QString& dataPath,
                        const std::vector<EntryRow>& rows,
                        const tw::sources::SourceSettings& sources, int depth) {
    const datafile::EntryDefaults defaults = RunDefaults(sources);
    const tw::reports::ReportOptions report = ReportOptionsOf(options, depth);
    bool ok = true;
    for (const auto& [name, format] : {std::pair{options.htmlFile, tw::reports::ReportFormat::Html},
                                       {options.pdfFile, tw::reports::ReportFormat::Pdf}}) {
        if (name.isEmpty())
            continue;
        QString error;
        if (!tw::reports::writeReport(dataPath, rows, defaults, report, format,
                                      AbsoluteOutput(name), &error)) {
            Fail(error);
            ok = false;
        }
    }
    return ok;
}

std::array<std::string, kEngineCount> SourceTexts(const tw::sources::SourceSettings& sources) {
    std::array<std::string, kEngineCount> texts;
    for (int e = 0; e < kEngineCount; ++e)
        texts[e] = tw::sources::sourceText(sources.columns[e]).toStdString();
    return texts;
}

// What --alerts-dry-run prints: each channel's message as it would go out.
std::string AlertsDryRunText(const tw::alerts::AlertsOutcome& alerts, const QString& dataPath) {
    const std::string rules =
        datafile::DisplayPath(tw::alerts::alertsPathFor(dataPath)).toStdString();
    if (!alerts.error.isEmpty())
        return "Alerts (dry run): nothing would be sent.\n";
    if (!alerts.ruled && alerts.channels.empty())
        return "Alerts (dry run): \"" + rules +
               "\" holds no rule with a channel to send it; nothing would be sent.\n";
    const tw::alerts::AlertMessage& m = alerts.message;
    if (alerts.channels.empty())
        return "Alerts (dry run): no rule of \"" + rules +
               "\" was triggered; nothing would be sent.\n";
    std::string out =
        "Alerts (dry run): " + (m.alerts.empty() ? tw::alerts::reportSubject(m) : m.subject()) +
        "; nothing was sent.\n";
    for (const tw::alerts::ChannelOutcome& c : alerts.channels) {
        if (c.payload.empty())
            continue; // a report that could not be written: among the failures
        out += "--- " + c.target.toStdString() + " would be:\n" + c.payload;
        if (!c.payload.ends_with('\n'))
            out += "\n";
        if (!c.attachmentName.empty())
            out += "--- with the attachment \"" + c.attachmentName + "\" (" +
                   std::to_string(c.attachmentBytes) + " bytes)\n";
    }
    // Line by line, so that only the controls inside a line show as escapes.
    QStringList lines =
        QString::fromUtf8(out.data(), qsizetype(out.size())).split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        line = tw::shownText(line);
    }
    return lines.join(QLatin1Char('\n')).toLocal8Bit().toStdString();
}

// The PDF mailed after the run when the list's rule file says mail_report=yes. The tests set
// TALLOWICK_REPORT_STAND_IN to a file that is copied in its place.
tw::alerts::CAlertCheck::ReportWriter MailedReportWriter(const QString& dataPath,
                                                         const CliOptions& options,
                                                         const tw::sources::SourceSettings& sources,
                                                         int depth) {
    const QString standIn = qEnvironmentVariable("TALLOWICK_REPORT_STAND_IN");
    if (!standIn.isEmpty()) {
        return [standIn](const QString& pdfPath, QString* error) {
            if (QFile::copy(standIn, pdfPath))
                return true;
            *error = QStringLiteral("\"%1\" could not be copied.").arg(standIn);
            return false;
        };
    }
    const datafile::EntryDefaults defaults = RunDefaults(sources);
    const tw::reports::ReportOptions report = ReportOptionsOf(options, depth);
    return [dataPath, defaults, report](const QString& pdfPath, QString* error) {
        return tw::reports::writeListPdf(dataPath, defaults, report, pdfPath, error);
    };
}

// Whether this run may draw a PDF: --pdf, or a list whose rule file mails its report.
bool DrawsPdf(const CliOptions& options) {
    if (!options.pdfFile.isEmpty())
        return true;
    if (options.noRank || !options.importFile.isEmpty() || options.schedule ||
        options.listSchedules || !options.historyCsv.isEmpty() || options.dataFile.isEmpty())
        return false;
    std::optional<tw::alerts::AlertConfig> config;
    QStringList warnings;
    return tw::alerts::readAlerts(QFileInfo(options.dataFile).absoluteFilePath(), &config,
                                  &warnings, nullptr) &&
           config && config->mailReport && !config->mailTo.empty();
}

// --import and --no-rank: no run. The import's new entries are added and saved under the data
// file's lock; then the outputs are written of the list as it is.
int RunWithoutRanking(const CliOptions& options) {
    const QString dataPath = QFileInfo(options.dataFile).absoluteFilePath();
    const QString reportPath = AbsoluteOutput(options.reportFile);
    const QString jsonPath = AbsoluteOutput(options.jsonFile);
    const QString csvPath = AbsoluteOutput(options.csvFile);
    const QString serpPath = AbsoluteOutput(options.serpCsvFile);
    const bool importing = !options.importFile.isEmpty();
    const QString importPath = importing ? QFileInfo(options.importFile).absoluteFilePath() : "";
    // The outputs name the columns as the stored sources label them.
    const tw::sources::SourceSettings storedSources = rank::ReadRunSources(true);
    rank::ApplySlotEngines(storedSources);

    // An import into a list not made yet starts it; outputs need a list to write.
    if (!importing && !QFileInfo(dataPath).isFile()) {
        Fail(QStringLiteral("The entry list \"%1\" could not be read: %2")
                 .arg(datafile::DisplayPath(dataPath),
                      QFileInfo(dataPath).isDir() ? QStringLiteral("Is a directory")
                                                  : QStringLiteral("No such file or directory")));
        return kExitDataFile;
    }
    QString error;
    QString reason;
    if (importing && options.importTarget.empty()) {
        // Keyword phrases without their URL cannot become entries: say what is missing.
        QByteArray bytes;
        if (!tw::exchange::readImportFile(importPath, bytes, &error)) {
            Fail(error);
            return kExitDataFile;
        }
        if (tw::exchange::detectFormat(importPath, bytes) ==
            tw::exchange::ImportFormat::PlainText) {
            Fail(QStringLiteral("\"%1\" holds one keyword phrase per line: give the target URL "
                                "of its entries with --import-target.")
                     .arg(datafile::DisplayPath(importPath)));
            return kExitUsage;
        }
    }
    std::vector<std::string> competitors;
    if (!RunCompetitors(options, dataPath, &competitors,
                        importing ? QStringLiteral("Nothing was imported or written.")
                                  : QStringLiteral("Nothing was written.")))
        return kExitDataFile;
    if (!OutputsWritable({reportPath, jsonPath, csvPath, serpPath, AbsoluteOutput(options.htmlFile),
                          AbsoluteOutput(options.pdfFile)}))
        return kExitOutputFile;

    datafile::CDataFileSession dataFile(dataPath);
    std::vector<EntryRow> rows;
    if (importing) {
        if (dataFile.Lock(&error) == datafile::CDataFileSession::LockResult::InUse) {
            Fail(error + QStringLiteral(" Nothing was imported."));
            return kExitDataFile;
        }
        CExitLockRegistration lockRegistration(dataFile);
        if (!CanWrite(dataPath, reason, true)) {
            Fail(QStringLiteral("The entry list \"%1\" could not be written: %2")
                     .arg(datafile::DisplayPath(dataPath), reason));
            return kExitDataFile;
        }
        tw::exchange::ImportResult result;
        if (tw::exchange::importIntoDataFile(dataFile, importPath, options.importTarget, result,
                                             &error) != tw::exchange::DataFileImport::Done) {
            Fail(error);
            return kExitDataFile;
        }
        if (!dataFile.Load(rows, &error)) {
            Fail(error);
            return kExitDataFile;
        }
        lockRegistration.Withdraw();
        dataFile.Unlock();
        if (!options.quiet) {
            // Beside a document on standard output, on standard error.
            const bool docOnStdout = reportPath == kStdout || jsonPath == kStdout ||
                                     csvPath == kStdout || serpPath == kStdout;
            QString text = result.summary() + QLatin1Char('\n');
            if (result.skipped > 0)
                text += result.skippedLinesText() + QLatin1Char('\n');
            std::fputs(text.toLocal8Bit().constData(), docOnStdout ? stderr : stdout);
            std::fflush(docOnStdout ? stderr : stdout);
        }
    } else if (!dataFile.Load(rows, &error)) {
        Fail(error);
        return kExitDataFile;
    }

    int status = kExitOk;
    const auto failed = [&status](const QString& message) {
        Fail(message);
        status = kExitOutputFile;
    };
    if (!reportPath.isEmpty()) {
        const QDateTime now = QDateTime::currentDateTime();
        const bool ok = reportPath == kStdout
                            ? WriteOutput(reportPath, report::FormatReport(rows, now), error)
                            : report::SaveReport(reportPath, rows, now, &error);
        if (!ok)
            failed(error);
    }
    // Every row as it is, with the latest result the history holds for each slot and the
    // results that result kept.
    rank::RunRequest request;
    request.dataFilePath = dataPath;
    rank::CRunPipeline history(std::move(request));
    if (!jsonPath.isEmpty() || !serpPath.isEmpty())
        history.OpenForReading();
    datafile::EntryDefaults defaults;
    defaults.country = storedSources.config.country;
    defaults.language = storedSources.config.language;
    defaults.device = storedSources.config.device;
    defaults.location = storedSources.config.location;
    std::vector<RankedRow> listed = ListedRows(rows);
    for (RankedRow& r : listed)
        r.options = datafile::effectiveOptions(rows[r.row].options, defaults);
    const auto recorded = [&](int row, int slot, qint64 beforeRunId) {
        const datafile::EntryOptions& o = listed[row].options;
        return history.Previous(rows[row].cells[ColUrl], rows[row].cells[ColKeywords],
                                tw::entryWhere(o.device, o.location), slot, true, beforeRunId);
    };
    const auto latest = [&](int row, int slot) { return recorded(row, slot, 0); };
    if (!jsonPath.isEmpty()) {
        KeptResultsView kept;
        kept.competitors = competitors;
        kept.fromHistory = true;
        kept.earlier = recorded;
        if (!WriteResultsJsonFile(jsonPath, rows, listed, SourceTexts(storedSources), latest,
                                  &error, nullptr, &kept))
            failed(error);
    }
    if (!csvPath.isEmpty() && !WriteCsvTable(csvPath, rows, error))
        failed(error);
    if (!serpPath.isEmpty() &&
        !WriteSerpCsvFile(serpPath, rows, listed, competitors, latest, &error))
        failed(error);
    if (!WriteClientReports(options, dataPath, rows, storedSources, 0))
        status = kExitOutputFile;
    return status;
}

// The columns' sources: the stored ones with the environment's keys, the options laid over them.
// False, with the message shown, when a column to rank cannot be asked; nothing is fetched then.
bool ReadCliSources(const CliOptions& options, const CSearchSettings& saved,
                    tw::sources::SourceSettings* sources) {
    std::array<bool, kEngineCount> slotOn{};
    for (int e = 0; e < kEngineCount; ++e)
        slotOn[e] = options.engines ? (*options.engines)[e] : saved.EngineEnabled(SearchEngine(e));
    *sources = rank::ReadRunSources(true);
    QString error;
    if (!ApplySourceOptions(options.sources, slotOn, sources, &error)) {
        Fail(error);
        return false;
    }
    rank::ApplySlotEngines(*sources);
    return true;
}

// --estimate: the calls the run would take per result service, from the list, the depth and the
// sources; nothing is sent, locked or written.
int Estimate(const CliOptions& options) {
    const QString dataPath = QFileInfo(options.dataFile).absoluteFilePath();
    datafile::CDataFileSession dataFile(dataPath);
    EntryListModel model;
    QString error;
    if (!dataFile.Load(model, &error)) {
        Fail(error);
        return kExitDataFile;
    }
    int entries = model.rowCount();
    if (!options.rows.empty()) {
        entries = 0;
        for (int row : options.rows)
            entries += row <= model.rowCount() ? 1 : 0;
    }
    CSearchSettings saved;
    saved.Load();
    std::array<bool, kEngineCount> engineOn{};
    for (int e = 0; e < kEngineCount; ++e)
        engineOn[e] =
            options.engines ? (*options.engines)[e] : saved.EngineEnabled(SearchEngine(e));
    tw::sources::SourceSettings sources = rank::ReadRunSources(true);
    // A key not set yet does not change what the run would cost.
    ApplySourceOptions(options.sources, engineOn, &sources, nullptr);
    const int depth = ClampDepth(options.depth.value_or(saved.m_MaxPages));
    const bool wholeDepth = options.wholeDepth || saved.m_ReadWholeDepth != 0;
    const CallEstimate estimate = EstimateCalls(
        entries, depth, sources, [&engineOn](SearchEngine e) { return engineOn[e]; }, wholeDepth);
    std::string out;
    for (int i = 0; i < tw::sources::kProviderCount; ++i) {
        if (!estimate.used[i])
            continue;
        out += std::string(tw::sources::providerSite(tw::sources::providerAt(i))) + ": at most " +
               std::to_string(estimate.most[i]) + " calls, at least " +
               std::to_string(estimate.least[i]) +
               (wholeDepth ? " unless a service runs out of results first\n"
                           : " if every target is on page 1\n");
    }
    if (out.empty())
        out = "No column is ranked through a result service: the run makes no billed calls.\n";
    out += std::to_string(entries) + (entries == 1 ? " entry" : " entries") + ", depth " +
           std::to_string(depth) + (wholeDepth ? ", read whole" : "") + "; nothing was sent.\n";
    std::fputs(out.c_str(), stdout);
    return kExitOk;
}

// What a ranking run leaves for its last-run file besides its status.
struct RunNote {
    QDateTime started;
    rank::RunChanges changes;
    std::string summary; // the summary line
};

int RankList(const CliOptions& options, RunNote& note) {
    // Relative names are taken from the folder the tool was started in; the run then works in a
    // private folder of its own, so its scratch files never meet those of a window ranking in
    // the same folder, and an unwritable start folder does not silently spoil every page.
    const QString dataPath = QFileInfo(options.dataFile).absoluteFilePath();
    const QString reportPath = AbsoluteOutput(options.reportFile);
    const QString jsonPath = AbsoluteOutput(options.jsonFile);
    const QString csvPath = AbsoluteOutput(options.csvFile);
    const QString serpPath = AbsoluteOutput(options.serpCsvFile);

    if (!QFileInfo(dataPath).isFile()) {
        Fail(QStringLiteral("The entry list \"%1\" could not be read: %2")
                 .arg(datafile::DisplayPath(dataPath),
                      QFileInfo(dataPath).isDir() ? QStringLiteral("Is a directory")
                                                  : QStringLiteral("No such file or directory")));
        return kExitDataFile;
    }
    std::vector<std::string> competitors;
    if (!RunCompetitors(options, dataPath, &competitors,
                        QStringLiteral("Nothing was ranked or written.")))
        return kExitDataFile;
    // Held from before the list is read until it is written back, so that a second run or a
    // window on the same file is turned away instead of losing results or having its own
    // overwritten. A run that does not save only reads the file and takes no lock.
    datafile::CDataFileSession dataFile(dataPath);
    QString error;
    if (!options.noSave && dataFile.Lock(&error) == datafile::CDataFileSession::LockResult::InUse) {
        Fail(error + QStringLiteral(" Nothing was ranked."));
        return kExitDataFile;
    }
    CExitLockRegistration lockRegistration(dataFile);
    EntryListModel model;
    if (!dataFile.Load(model, &error)) {
        Fail(error);
        return kExitDataFile;
    }
    QString reason;
    if (!options.noSave && !CanWrite(dataPath, reason, true)) {
        Fail(QStringLiteral("The entry list \"%1\" could not be written: %2")
                 .arg(datafile::DisplayPath(dataPath), reason));
        return kExitDataFile;
    }
    const int count = model.rowCount();
    for (int row : options.rows) {
        if (row > count) {
            Fail(QStringLiteral("Row %1 is not in \"%2\", which holds %3 entries.")
                     .arg(row)
                     .arg(datafile::DisplayPath(dataPath))
                     .arg(count));
            return kExitUsage;
        }
    }
    if (!OutputsWritable({reportPath, jsonPath, csvPath, serpPath, AbsoluteOutput(options.htmlFile),
                          AbsoluteOutput(options.pdfFile)}))
        return kExitOutputFile;

    CSearchSettings saved;
    saved.Load();
    RankRunSettings settings;
    settings.maxPages = options.depth.value_or(saved.m_MaxPages);
    settings.maxThreads = options.threads.value_or(saved.m_MaxThreads);
    settings.readWholeDepth = options.wholeDepth || saved.m_ReadWholeDepth != 0;
    // The engines asked for choose which columns are refreshed; the others keep what they hold.
    settings.keepOffColumns = true;
    tw::sources::SourceSettings sources;
    if (!ReadCliSources(options, saved, &sources))
        return kExitUsage;
    if (!options.device.empty())
        sources.config.device = options.device;
    sources.config.location = options.location;
    settings.sources = sources;
    std::array<bool, kEngineCount> engineOn{};
    for (int e = 0; e < kEngineCount; ++e) {
        engineOn[e] =
            options.engines ? (*options.engines)[e] : saved.EngineEnabled(SearchEngine(e));
        std::string hostError;
        if (engineOn[e] && options.hosts[e].empty() && sources.columns[e].isClassic() &&
            !CheckEngineHost(SearchEngine(e), &hostError)) {
            Fail(QString::fromStdString(hostError));
            return kExitUsage;
        }
        settings.hosts[e] =
            options.hosts[e].empty() ? EngineHost(SearchEngine(e)) : options.hosts[e];
    }
    settings.engineOn = [engineOn](SearchEngine e) { return engineOn[e]; };

    // The rows to rank, the columns to refresh emptied as Rank All does; the run puts their old
    // texts back where it comes to no answer (cancel, rows it never reached).
    std::vector<RankTarget> targets;
    for (int row = 0; row < count; ++row) {
        if (!options.rows.empty() &&
            !std::binary_search(options.rows.begin(), options.rows.end(), row + 1))
            continue;
        if (!options.tags.empty() &&
            std::none_of(options.tags.begin(), options.tags.end(), [&](const std::string& t) {
                return datafile::hasTag(model.options(row).tags, t);
            }))
            continue;
        RankTarget target{row, model.cell(row, ColUrl), model.cell(row, ColKeywords), {}, {}};
        target.options = model.options(row);
        for (int e = 0; e < kEngineCount; ++e) {
            target.previous[e] = model.cell(row, EngineColumn(e));
            if (engineOn[e])
                model.setCell(row, EngineColumn(e), std::string());
        }
        targets.push_back(std::move(target));
    }

    QTemporaryDir scratch;
    const QString startDir = QDir::currentPath();
    if (scratch.isValid()) {
        QDir::setCurrent(scratch.path());
        std::lock_guard<std::mutex> lock(g_exitMutex);
        g_exitScratchDir = scratch.path();
    }

    rank::RunRequest request;
    request.dataFilePath = dataPath;
    request.record = !options.noHistory;
    request.alerts =
        options.alertsDryRun ? rank::RunRequest::Alerts::DryRun : rank::RunRequest::Alerts::Send;
    request.started = note.started;
    request.writeReport =
        MailedReportWriter(dataPath, options, sources, ClampDepth(settings.maxPages));
    if (!options.noSave) {
        request.saveList = [&dataFile, &model](QString* saveError) {
            // Changed meanwhile by a program that takes no lock: its version is kept.
            if (dataFile.ChangedOnDisk(saveError)) {
                *saveError += QStringLiteral(" The results of this run were not saved into it.");
                return false;
            }
            return dataFile.Save(model, saveError);
        };
    }
    rank::CRunPipeline pipeline(std::move(request));

    CCliRows rows(model, targets);
    CCliProgress progress(options.quiet, int(targets.size()));
    QElapsedTimer clock;
    clock.start();
    // The pump returns early when a worker ends, so its step only paces the progress lines.
    const rank::RunOutcome outcome = pipeline.Run(targets, rows, &progress, settings, [&] {
        WaitAndPump(kPumpMs);
        progress.Update(model.rows(), rows.TakeFinished());
    });
    const RankRunResult& run = outcome.run;
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!options.noSave) {
        lockRegistration.Withdraw();
        dataFile.Unlock();
    }
    progress.Update(model.rows(), rows.TakeFinished());
    progress.ClearLine();
    QDir::setCurrent(startDir);
    {
        std::lock_guard<std::mutex> lock(g_exitMutex);
        g_exitScratchDir.clear();
        scratch.remove();
    }
    int status = run.cancelled ? kExitInterrupted : kExitOk;
    if (run.cancelled && g_nStopSignal.load() != SIGINT)
        status = 128 + g_nStopSignal.load();
    if (!run.startError.empty()) {
        Fail(QStringLiteral("Not every entry could be ranked: %1. %2 of the %3 entries were left "
                            "as they were.")
                 .arg(QString::fromStdString(run.startError))
                 .arg(run.notRanked)
                 .arg(targets.size()));
        if (!run.cancelled)
            status = kExitNotRanked;
    }
    if (run.stats.overBudget > 0) {
        Fail(QString::fromStdString(BudgetMessage(run.calls, run.stats.overBudget)));
        if (status == kExitOk)
            status = kExitNotRanked;
    }
    if (!options.quiet) {
        for (const std::string& notice : run.calls.notices)
            Tell(QStringLiteral("note: %1.").arg(QString::fromStdString(notice)));
    }
    if (outcome.saveTried && !outcome.saved) {
        Fail(outcome.saveError);
        status = kExitDataFile;
    }
    std::vector<RankedRow> ranked = rows.TakeStarted();
    if (!reportPath.isEmpty()) {
        const QDateTime now = QDateTime::currentDateTime();
        const bool ok =
            reportPath == kStdout
                ? WriteOutput(reportPath, report::FormatReport(model.rows(), now), error)
                : report::SaveReport(reportPath, model, now, &error);
        if (!ok) {
            Fail(error);
            if (status != kExitDataFile)
                status = kExitOutputFile;
        }
    }
    if (!jsonPath.isEmpty()) {
        const datafile::EntryDefaults defaults = RunDefaults(sources);
        for (RankedRow& r : ranked)
            r.options = datafile::effectiveOptions(model.options(r.row), defaults);
        // The competitors' "previous" ranks are read from the previous result's kept results.
        const bool withSites = !competitors.empty();
        const auto previous = [&](int row, int slot) {
            const datafile::EntryOptions o =
                datafile::effectiveOptions(model.options(row), defaults);
            return pipeline.Previous(model.cellRef(row, ColUrl), model.cellRef(row, ColKeywords),
                                     tw::entryWhere(o.device, o.location), slot, withSites);
        };
        KeptResultsView kept;
        kept.competitors = competitors;
        if (!WriteResultsJsonFile(jsonPath, model.rows(), ranked, SourceTexts(sources), previous,
                                  &error, &run.calls, &kept, &outcome.changes)) {
            Fail(error);
            if (status != kExitDataFile)
                status = kExitOutputFile;
        }
    }
    if (!options.noHistory && !outcome.recorded) {
        Fail(outcome.keptForTheList
                 ? outcome.historyError
                 : outcome.historyError + QStringLiteral(" This run was not recorded in it."));
        if (status == kExitOk)
            status = kExitHistory;
    }
    if (!csvPath.isEmpty() && !WriteCsvTable(csvPath, model.rows(), error)) {
        Fail(error);
        if (status != kExitDataFile)
            status = kExitOutputFile;
    }
    if (!serpPath.isEmpty() &&
        !WriteSerpCsvFile(serpPath, model.rows(), ranked, competitors, {}, &error)) {
        Fail(error);
        if (status != kExitDataFile)
            status = kExitOutputFile;
    }
    // After the run is recorded, so that the report holds it.
    if (!WriteClientReports(options, dataPath, model.rows(), sources,
                            ClampDepth(settings.maxPages)) &&
        status != kExitDataFile)
        status = kExitOutputFile;
    const tw::alerts::AlertsOutcome& alerts = outcome.alerts;
    if (options.alertsDryRun) {
        const bool stdoutTaken = reportPath == kStdout || jsonPath == kStdout ||
                                 csvPath == kStdout || serpPath == kStdout;
        const std::string text = AlertsDryRunText(alerts, dataPath);
        std::fputs(text.c_str(), stdoutTaken ? stderr : stdout);
        std::fflush(stdoutTaken ? stderr : stdout);
    }
    if (!options.quiet) {
        for (const QString& warning : alerts.warnings)
            Fail(QStringLiteral("note: %1.").arg(warning));
        for (const tw::alerts::ChannelOutcome& channel : alerts.channels) {
            if (channel.sent)
                std::fprintf(stderr, "Alerts sent: %s\n",
                             tw::shownText(channel.target).toLocal8Bit().constData());
            else if (channel.skipped && !alerts.dryRun)
                Fail(QStringLiteral("note: %1 was not shown: %2")
                         .arg(channel.target, channel.error));
        }
    }
    for (const QString& line : alerts.failureLines())
        Fail(line);
    if (alerts.failed() && status == kExitOk)
        status = kExitAlerts;
    RunSummary summary = Summarise(ranked, int(targets.size()), run.cancelled, run.stats, seconds);
    summary.enabled = engineOn;
    summary.calls = CallsSummary(run.calls);
    note.summary = SummaryLine(summary);
    if (!options.quiet) {
        std::fprintf(stderr, "%s\n", note.summary.c_str());
        for (const std::string& line : ChangeLines(outcome.changes))
            std::fprintf(stderr, "%s\n", line.c_str());
    }
    note.changes = outcome.changes;
    return status;
}

// A ranking run, whatever its end, leaves its outcome beside the list for whoever did not watch
// it (a scheduled run): also a run turned away because another one holds the list.
int Run(const CliOptions& options) {
    RunNote note;
    note.started = QDateTime::currentDateTime();
    int status = RankList(options, note);
    const QString dataPath = QFileInfo(options.dataFile).absoluteFilePath();
    // No list there: nothing to keep the outcome beside.
    if (!QFileInfo(dataPath).isFile())
        return status;
    rank::LastRun last;
    last.time = note.started;
    last.finished = QDateTime::currentDateTime();
    last.status = status;
    last.message = status != kExitOk && !g_firstFailure.isEmpty()
                       ? g_firstFailure
                       : QString::fromStdString(note.summary);
    for (int e = 0; e < kEngineCount; ++e) {
        if (note.changes.bySlot[e])
            last.changes[e] = note.changes.bySlot[e]->counts;
    }
    QString error;
    // Told only where it fails the run: a run that failed has said why already, and one that
    // only reads the list (--no-save) may stand in a folder it cannot write.
    if (!rank::WriteLastRun(dataPath, last, &error) && status == kExitOk && !options.noSave) {
        Fail(error);
        status = kExitOutputFile;
    }
    return status;
}

// --history-csv: the whole history of the data file, oldest run first, and nothing ranked.
int ExportHistory(const CliOptions& options) {
    const QString dataPath = QFileInfo(options.dataFile).absoluteFilePath();
    const QString historyPath = tw::historyPathFor(dataPath);
    const bool toStdout = options.historyCsv == kStdout;
    const QString outPath = toStdout ? kStdout : QFileInfo(options.historyCsv).absoluteFilePath();
    QString error;
    tw::HistoryStore store;
    if (!QFileInfo::exists(historyPath) && !QFileInfo(historyPath).isSymLink()) {
        // A data file never ranked has no history yet; neither file there is a wrong name.
        if (!QFileInfo(dataPath).isFile()) {
            Fail(QStringLiteral("The entry list \"%1\" could not be read: No such file or "
                                "directory")
                     .arg(datafile::DisplayPath(dataPath)));
            return kExitDataFile;
        }
    } else if (!store.openForReading(historyPath, &error)) {
        Fail(error);
        return kExitHistory;
    }

    // Standard output and a device or pipe are written in place; a file is replaced only once
    // the new one is complete.
    QFile direct;
    QSaveFile replaced;
    QFileDevice* out = &replaced;
    bool opened = false;
    if (toStdout) {
        out = &direct;
        opened = direct.open(STDOUT_FILENO, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
    } else if (outputfile::IsSpecial(outPath)) {
        out = &direct;
        direct.setFileName(outPath);
        opened = direct.open(QIODevice::WriteOnly | QIODevice::ExistingOnly);
    } else {
        replaced.setFileName(outPath);
        opened = replaced.open(QIODevice::WriteOnly);
    }
    const auto writeFailed = [&](const QString& reason) {
        Fail(toStdout ? QStringLiteral("Standard output could not be written: %1").arg(reason)
                      : QStringLiteral("\"%1\" could not be written: %2")
                            .arg(datafile::DisplayPath(outPath), reason));
        return kExitOutputFile;
    };
    if (!opened)
        return writeFailed(out->errorString());
    if (!store.isOpen()) {
        const QByteArray header = tw::csvHeader();
        if (out->write(header) != header.size())
            return writeFailed(out->errorString());
    } else if (!store.exportCsv(out, &error)) {
        if (out->error() != QFileDevice::NoError)
            return writeFailed(out->errorString());
        Fail(error);
        return kExitHistory;
    }
    if (!out->flush() || (out == &replaced && !replaced.commit()))
        return writeFailed(out->errorString());
    return kExitOk;
}

// --schedule: the list of -d ranked at set times by a scheduled tallowick-rank; nothing ranked.
int SetSchedule(const CliOptions& options) {
    namespace ts = tw::schedule;
    const QString dataPath = QDir::cleanPath(QFileInfo(options.dataFile).absoluteFilePath());
    const bool on = options.schedule->kind != ts::ScheduleWhen::Off;
    if (on && !QFileInfo(dataPath).isFile()) {
        Fail(QStringLiteral("The entry list \"%1\" could not be read: %2")
                 .arg(datafile::DisplayPath(dataPath),
                      QFileInfo(dataPath).isDir() ? QStringLiteral("Is a directory")
                                                  : QStringLiteral("No such file or directory")));
        return kExitDataFile;
    }
    ts::ScheduleRequest request{dataPath, *options.schedule, options.scheduleArgs, {}};
    QString error;
    if (on && (request.program = ts::rankProgramPath(&error)).isEmpty()) {
        Fail(error);
        return kExitSchedule;
    }
    QString done;
    if (!ts::applySchedule(request, &done, &error)) {
        Fail(error);
        return kExitSchedule;
    }
    if (!options.quiet)
        std::printf("%s\n", done.toLocal8Bit().constData());
    return kExitOk;
}

// --schedules: every schedule made for any list, with its next and its last run.
int ListSchedules() {
    namespace ts = tw::schedule;
    QString problems;
    const std::vector<ts::ScheduledList> lists = ts::listSchedules(&problems);
    if (lists.empty() && problems.isEmpty())
        std::printf("No list is scheduled.\n");
    const QDateTime now = QDateTime::currentDateTime();
    for (const ts::ScheduledList& list : lists) {
        const QDateTime next = ts::nextRun(list.when, now);
        const QString text =
            QStringLiteral("%1\n  when: %2 (%3)\n  next run: %4\n  last run: %5\n")
                .arg(datafile::DisplayPath(list.dataFile), ts::whenWords(list.when),
                     ts::backendWords(list), next.toString(QStringLiteral("ddd yyyy-MM-dd HH:mm")),
                     tw::shownText(ts::lastRunText(ts::readLastRun(list.dataFile))));
        std::fputs(text.toLocal8Bit().constData(), stdout);
    }
    std::fflush(stdout);
    if (!problems.isEmpty()) {
        Fail(problems);
        return kExitSchedule;
    }
    return kExitOk;
}

} // namespace

// Undocumented, for tests that rank against engines that never answer or always fail, which
// would otherwise hold every page for the full minute or the full retry pauses: the page
// time-out and the pause before a failed page is tried again, in milliseconds.
static void ApplyTestOverrides() {
    bool ok = false;
    const int pause = qEnvironmentVariable("TALLOWICK_RETRY_DELAY_MS").toInt(&ok);
    if (ok && pause >= 0 && pause <= 60000)
        CRankSearch::SetRetry({{pause, pause}});
    const long ms = qEnvironmentVariable("TALLOWICK_PAGE_TIMEOUT_MS").toLong(&ok);
    if (!ok || ms <= 0)
        return;
    FetchLimits limits = CPageFetcher::Limits();
    limits.pageTimeoutMs = ms;
    limits.connectTimeoutMs = std::min(limits.connectTimeoutMs, ms);
    CPageFetcher::SetLimits(limits);
}

int main(int argc, char* argv[]) {
    // Before any other thread exists, so that every later thread inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A file size limit (ulimit -f) makes a write fail, which is reported (status 3 or 4),
    // instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);

    // A PDF is drawn with Qt Gui: on the offscreen platform, so that no display is needed.
    bool drawing = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        drawing = drawing || arg == "--pdf" || arg == "-pdf" || arg.starts_with("--pdf=") ||
                  arg.starts_with("-pdf=");
    }
    if (drawing)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app = drawing
                                                ? std::make_unique<QGuiApplication>(argc, argv)
                                                : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tallowick-rank"));

    CliOptions options;
    const ParseResult parsed = ParseCommandLine(QCoreApplication::arguments(), options);
    if (parsed.kind == ParseResult::Error) {
        Fail(parsed.text + QStringLiteral(" (see --help)"));
        return kExitUsage;
    }
    if (parsed.kind == ParseResult::Done) {
        std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
        return kExitOk;
    }
    // The list's rule file may mail its report: only known once the options are read.
    if (!drawing && DrawsPdf(options)) {
        app.reset();
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("tallowick-rank"));
    }
    // A settings file that is refused would have every setting read as its default: the run
    // would not be the one the user set up.
    if (std::string problem; !CRegistrySettings::CheckStore(maker::kProduct, &problem)) {
        Fail(QString::fromStdString(problem) + QStringLiteral(" Nothing was ranked or written."));
        return kExitUsage;
    }
    StartSignalThread(stopSignals);
    ApplyTestOverrides();
    if (options.listSchedules)
        return ListSchedules();
    if (options.schedule)
        return SetSchedule(options);
    if (!options.historyCsv.isEmpty())
        return ExportHistory(options);
    if (options.noRank || !options.importFile.isEmpty())
        return RunWithoutRanking(options);
    if (options.sources.estimate)
        return Estimate(options);
    return Run(options);
}
