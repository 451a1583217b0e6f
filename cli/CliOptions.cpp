#include "cli/CliOptions.h"

#include "base/Engines.h"
#include "base/Maker.h"
#include "data/EntryOptions.h"
#include "exchange/EntryCheck.h"
#include "rank/RankRun.h"
#include "reports/ReportModel.h"
#include "schedule/Schedules.h"
#include "settings/ServiceAddresses.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace cli {

int EngineFromKey(const QString& name) {
    return engines::FromKey(name.toStdString());
}

namespace {

const char* const kDescription =
    "Ranks the entries of a Tallowick data file on the search engines, with the same run as the "
    "window's Rank All, and writes the results back into the data file.\n"
    "\n"
    "With --import, adds the new entries of a CSV file (url and keywords columns) or of a text "
    "file (one keyword phrase per line, for the URL given with --import-target) to the data "
    "file and saves it, ranking nothing.\n"
    "\n"
    "Exit status: 0 done (whether or not the targets were found; for --import, whether or not "
    "anything was new), 2 bad command line (also a text file to import without "
    "--import-target) or a settings file that is refused, 3 the data file or the file to import "
    "could not be read, or the data "
    "file could not be written; it is as it was, 4 an output file (a report too) could not be "
    "written, 5 not "
    "every entry could be ranked, 6 the rank history could not be written (the results were "
    "saved), 130 interrupted (what was ranked is saved), 7 an alert could not be sent or the "
    "list's alert rules cannot be used (the results were saved), 8 the schedule could not be "
    "set (--schedule) or not every schedule could be looked at (--schedules). When several "
    "apply: 3, 4, 5 or 130, then 6, then 7. A competitors file that cannot be read or holds a "
    "site with a blank in it is status 3, a bad --competitors 2; neither fetches anything.\n"
    "\n"
    "With --schedule, has the list ranked at set times without the window, with the run's "
    "options given beside it (a systemd user timer, or a crontab line where no systemd user "
    "manager answers), and ranks nothing.\n"
    "\n"
    "--html and --pdf write the client report (title, sender and logo from the report settings; "
    "the period's counts, changes, visibility and charts from the rank history) after the run, "
    "or with --no-rank of the history as it is; with --tag, of the tagged entries.";

// Decimal digits only, in lo..hi.
std::optional<int> ParseCount(const QString& text, int lo, int hi) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int n = text.toInt();
    if (n < lo || n > hi)
        return std::nullopt;
    return n;
}

// The options a scheduled run is given, as they were written here; output files made absolute.
const char* const kScheduledValues[] = {
    "depth",       "threads",      "engines", "host",     "tag",     "device",   "location",
    "source",      "provider-url", "country", "language", "pause",   "parallel", "max-calls",
    "competitors", "report",       "json",    "csv",      "serp-csv"};
const char* const kNotScheduled[] = {"import",      "import-target", "no-rank",  "no-save",
                                     "history-csv", "rows",          "estimate", "schedules"};

ParseResult ParseScheduleOptions(const QCommandLineParser& parser, CliOptions& options) {
    const auto error = [](const QString& text) { return ParseResult{ParseResult::Error, text}; };
    options.listSchedules = parser.isSet(QStringLiteral("schedules"));
    if (!parser.isSet(QStringLiteral("schedule")))
        return {};
    tw::schedule::ScheduleWhen when;
    QString message;
    if (!tw::schedule::parseWhen(parser.value(QStringLiteral("schedule")), &when, &message))
        return error(message);
    for (const char* name : kNotScheduled) {
        if (parser.isSet(QLatin1String(name)))
            return error(QStringLiteral("--schedule sets when the list is ranked: --%1 does not "
                                        "go with it.")
                             .arg(QLatin1String(name)));
    }
    options.schedule = when;
    for (const char* name : kScheduledValues) {
        const QString option = QLatin1String(name);
        const bool file = option == QLatin1String("report") || option == QLatin1String("json") ||
                          option == QLatin1String("csv") || option == QLatin1String("serp-csv");
        for (const QString& value : parser.values(option)) {
            if (file && value == kStdout)
                return error(QStringLiteral("A scheduled run has no standard output to write "
                                            "--%1 to: give a file.")
                                 .arg(option));
            options.scheduleArgs << QStringLiteral("--") + option
                                 << (file ? QFileInfo(value).absoluteFilePath() : value);
        }
    }
    for (const char* flag : {"no-history", "whole-depth"}) {
        if (parser.isSet(QLatin1String(flag)))
            options.scheduleArgs << QStringLiteral("--") + QLatin1String(flag);
    }
    return {};
}

// --csv, --serp-csv, --competitors, --import, --import-target and --no-rank. Ranking options do
// not go with the last two.
ParseResult ParseExchangeOptions(const QCommandLineParser& parser, CliOptions& options) {
    const auto error = [](const QString& text) { return ParseResult{ParseResult::Error, text}; };
    options.csvFile = parser.value(QStringLiteral("csv"));
    if (parser.isSet(QStringLiteral("csv")) && options.csvFile.isEmpty())
        return error(QStringLiteral("The --csv file name is empty."));
    options.serpCsvFile = parser.value(QStringLiteral("serp-csv"));
    if (parser.isSet(QStringLiteral("serp-csv")) && options.serpCsvFile.isEmpty())
        return error(QStringLiteral("The --serp-csv file name is empty."));
    const int toStdout = int(options.reportFile == kStdout) + int(options.jsonFile == kStdout) +
                         int(options.csvFile == kStdout) + int(options.serpCsvFile == kStdout);
    if (toStdout > 1)
        return error(QStringLiteral("Only one of --report, --json, --csv and --serp-csv can go to "
                                    "standard output."));
    if (parser.isSet(QStringLiteral("competitors"))) {
        // Competitors change what the JSON and the kept-results table say, nothing else.
        if (options.jsonFile.isEmpty() && options.serpCsvFile.isEmpty())
            return error(QStringLiteral("--competitors goes with --json or --serp-csv."));
        std::vector<std::string> sites;
        QString reason;
        if (!ParseCompetitorList(parser.value(QStringLiteral("competitors")), &sites, &reason))
            return error(QStringLiteral("Bad --competitors: %1").arg(reason));
        options.competitors = std::move(sites);
    }
    options.noRank = parser.isSet(QStringLiteral("no-rank"));
    options.importFile = parser.value(QStringLiteral("import"));
    const bool importing = parser.isSet(QStringLiteral("import"));
    if (importing && options.importFile.isEmpty())
        return error(QStringLiteral("The --import file name is empty."));
    if (parser.isSet(QStringLiteral("import-target"))) {
        if (!importing)
            return error(QStringLiteral("--import-target goes with --import."));
        options.importTarget = parser.value(QStringLiteral("import-target")).toStdString();
        QString message;
        if (!tw::exchange::checkTargetUrl(options.importTarget, &message))
            return error(QStringLiteral("Bad --import-target: %1").arg(message));
    }
    if (!importing && !options.noRank)
        return {};
    const QString mode = importing ? QStringLiteral("--import") : QStringLiteral("--no-rank");
    const bool reporting =
        parser.isSet(QStringLiteral("html")) || parser.isSet(QStringLiteral("pdf"));
    for (const char* name : {"depth", "threads", "engines", "host", "rows", "tag", "device",
                             "location", "whole-depth"}) {
        // The tags choose a report's entries too.
        if (reporting && !importing && std::strcmp(name, "tag") == 0)
            continue;
        if (parser.isSet(QLatin1String(name)))
            return error(QStringLiteral("%1 ranks nothing: --%2 does not go with it.")
                             .arg(mode, QLatin1String(name)));
    }
    if (importing && parser.isSet(QStringLiteral("no-save")))
        return error(QStringLiteral("--import saves the data file: --no-save does not go with "
                                    "it."));
    if (!importing && options.reportFile.isEmpty() && options.jsonFile.isEmpty() &&
        options.csvFile.isEmpty() && options.serpCsvFile.isEmpty() && !reporting)
        return error(
            QStringLiteral("--no-rank needs --csv, --serp-csv, --report, --json, --html or "
                           "--pdf."));
    return {};
}

} // namespace

bool ParseCompetitorList(const QString& text, std::vector<std::string>* sites, QString* error) {
    sites->clear();
    for (const QString& item : text.split(QLatin1Char(','))) {
        const QString site = item.trimmed();
        if (site.isEmpty())
            continue;
        if (std::any_of(site.begin(), site.end(), [](QChar c) { return c.isSpace(); })) {
            if (error)
                *error = QStringLiteral("\"%1\" has a blank in it: give sites (domains or parts "
                                        "of URLs) separated by commas.")
                             .arg(site);
            sites->clear();
            return false;
        }
        std::string bytes = site.toStdString();
        if (std::find(sites->begin(), sites->end(), bytes) == sites->end())
            sites->push_back(std::move(bytes));
    }
    return true;
}

ParseResult ParseCommandLine(const QStringList& args, CliOptions& options) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);

    const QCommandLineOption data(
        {"d", "data"}, "Data file (default: tallowick.dat in the current folder).", "FILE");
    const QCommandLineOption depth(
        "depth",
        QString("Result pages per engine, 1 to %1 (default: the saved setting).").arg(::kMaxDepth),
        "N");
    const QCommandLineOption wholeDepth(
        "whole-depth",
        "Read on past each target to the depth, so that the results below it are kept in the "
        "history too; costs the extra pages and billed calls (default: the saved "
        "ReadWholeDepth).");
    const QCommandLineOption threads(
        "threads",
        QString("Entries ranked at once, 1 to %1; more counts as %1 (default: the saved "
                "setting).")
            .arg(::kMaxRunThreads),
        "N");
    const QCommandLineOption engineList(
        "engines",
        QString("Engines to ask, comma-separated from %1 (default: the saved switches).")
            .arg(QString::fromStdString(engines::KeyList(",", ","))),
        "LIST");
    const QCommandLineOption host("host",
                                  QString("Search host for one engine, e.g. %1=127.0.0.1:8080; "
                                          "repeatable (default: the saved or built-in host).")
                                      .arg(QLatin1String(engines::All().front().key)),
                                  "ENGINE=HOST");
    const QCommandLineOption rows(
        "rows",
        "Rank only these 1-based rows, e.g. 2,4 (like Rank with a selection; default: all rows).",
        "LIST");
    const QCommandLineOption report(
        "report",
        "Write the text report (the same bytes as the window's Save) to FILE, \"-\" for standard "
        "output.",
        "FILE");
    const QCommandLineOption json(
        "json", "Write the results as JSON to FILE, \"-\" for standard output.", "FILE");
    const QCommandLineOption csv(
        "csv",
        "Write the list as a CSV table (each engine's text, rank and page) to FILE, \"-\" for "
        "standard output.",
        "FILE");
    const QCommandLineOption import(
        "import",
        "Add the new entries of FILE (CSV, or text with --import-target) and save; rank "
        "nothing.",
        "FILE");
    const QCommandLineOption importTarget(
        "import-target", "The target URL of every entry of a text file to import.", "URL");
    const QCommandLineOption noRank(
        "no-rank", "Rank nothing: write --csv, --report or --json of the list as it is.");
    const QCommandLineOption noSave("no-save", "Leave the data file unchanged.");
    const QCommandLineOption noHistory(
        "no-history", "Do not record this run in the rank history (the data file's name without "
                      "its extension, then .history.sqlite).");
    const QCommandLineOption historyCsv(
        "history-csv",
        "Write the whole rank history as CSV to FILE, \"-\" for standard output, and rank "
        "nothing.",
        "FILE");
    const QCommandLineOption serpCsv(
        "serp-csv",
        "Write every result the run kept (with --no-rank: each entry's latest recorded) as CSV "
        "to FILE, \"-\" for standard output: url, keywords, slot, engine, position, result_url, "
        "is_target, competitor.",
        "FILE");
    const QCommandLineOption competitors(
        "competitors",
        "Rank these sites, comma-separated, beside the targets in the JSON and --serp-csv "
        "(default: the list's NAME.competitors.txt; \"\" for none).",
        "LIST");
    const QCommandLineOption tag(
        "tag", "Rank only the entries with this tag; repeatable (an entry with any of them).",
        "TAG");
    const QCommandLineOption device(
        "device", "Device of the entries that name none: desktop (the default) or mobile.",
        "DEVICE");
    const QCommandLineOption location(
        "location",
        "Location of the entries that name none, in the result services' words, e.g. "
        "\"Austin,Texas,United States\" (default: the country as a whole).",
        "PLACE");
    const QCommandLineOption alertsDryRun(
        "alerts-dry-run", "Print the alerts this run triggers as they would be sent (the list's "
                          "NAME.alerts.ini), and send nothing.");
    const QCommandLineOption schedule(
        "schedule",
        "Have the list of -d ranked at set times without the window, with the ranking options "
        "given beside it: daily@HH:MM, days@HH:MM with days from mon,tue,wed,thu,fri,sat,sun "
        "(e.g. mon,wed,fri@07:30), or off. Ranks nothing.",
        "WHEN");
    const QCommandLineOption schedules(
        "schedules", "List the schedules made for any list: when, the next run, the last run.");
    const QCommandLineOption html(
        "html",
        "Write the client report as one self-contained HTML file (charts inline, no outside "
        "files) to FILE.",
        "FILE");
    const QCommandLineOption pdf("pdf",
                                 "Write the client report as a PDF (A4 or Letter by the "
                                 "locale) to FILE.",
                                 "FILE");
    const QCommandLineOption period(
        "period",
        QString("Days the reports look back: the last run against the run nearest to DAYS days "
                "before it, 1 to %1 (default: 30).")
            .arg(tw::reports::kMaxPeriodDays),
        "DAYS");
    const QCommandLineOption quiet({"q", "quiet"}, "No progress display and no summary.");
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption version("version", "Show the version.");
    parser.addOptions({data,       depth,        wholeDepth,  threads, engineList,
                       host,       rows,         report,      json,    csv,
                       import,     importTarget, noRank,      noSave,  noHistory,
                       historyCsv, serpCsv,      competitors, tag,     device,
                       location,   alertsDryRun, html,        pdf,     period});
    AddSourceOptions(parser);
    parser.addOptions({schedule, schedules, quiet, help, version});

    if (!parser.parse(args))
        return {ParseResult::Error, parser.errorText()};
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")),
                     QStringLiteral("Usage: tallowick-rank"));
        return {ParseResult::Done, text};
    }
    if (parser.isSet(version))
        return {
            ParseResult::Done,
            QStringLiteral("tallowick-rank %1\n").arg(QString::fromLatin1(maker::kVersionText))};
    if (!parser.positionalArguments().isEmpty())
        return {
            ParseResult::Error,
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first())};

    if (parser.isSet(data)) {
        options.dataFile = parser.value(data);
        if (options.dataFile.isEmpty())
            return {ParseResult::Error, QStringLiteral("The data file name is empty.")};
    }
    if (parser.isSet(depth)) {
        options.depth = ParseCount(parser.value(depth), 1, ::kMaxDepth);
        if (!options.depth)
            return {ParseResult::Error,
                    QStringLiteral("Bad --depth '%1': give a number from 1 to %2.")
                        .arg(parser.value(depth))
                        .arg(::kMaxDepth)};
    }
    options.wholeDepth = parser.isSet(wholeDepth);
    if (parser.isSet(threads)) {
        options.threads = ParseCount(parser.value(threads), 1, kMaxThreads);
        if (!options.threads)
            return {ParseResult::Error,
                    QStringLiteral("Bad --threads '%1': give a number from 1 to %2.")
                        .arg(parser.value(threads))
                        .arg(kMaxThreads)};
    }
    if (parser.isSet(engineList)) {
        std::array<bool, kEngineCount> on{};
        const QStringList names = parser.value(engineList).split(',');
        for (const QString& name : names) {
            const int e = EngineFromKey(name.trimmed());
            if (e < 0)
                return {ParseResult::Error,
                        QStringLiteral("Unknown engine '%1' in --engines: use %2.")
                            .arg(name.trimmed(),
                                 QString::fromStdString(engines::KeyList(", ", " or ")))};
            on[e] = true;
        }
        options.engines = on;
    }
    for (const QString& value : parser.values(host)) {
        const qsizetype eq = value.indexOf('=');
        const int e = eq > 0 ? EngineFromKey(value.left(eq).trimmed()) : -1;
        const QString hostText = eq > 0 ? value.mid(eq + 1).trimmed() : QString();
        if (e < 0 || !IsHostText(hostText.toStdString()))
            return {ParseResult::Error,
                    QStringLiteral("Bad --host '%1': give ENGINE=HOST[:PORT], e.g. "
                                   "%2=127.0.0.1:8080.")
                        .arg(value, QLatin1String(engines::All().front().key))};
        options.hosts[e] = hostText.toStdString();
    }
    if (parser.isSet(rows)) {
        for (const QString& item : parser.value(rows).split(',')) {
            const std::optional<int> n = ParseCount(item.trimmed(), 1, 999999999);
            if (!n)
                return {ParseResult::Error,
                        QStringLiteral("Bad --rows '%1': give row numbers from 1, e.g. 2,4.")
                            .arg(parser.value(rows))};
            options.rows.push_back(*n);
        }
        std::sort(options.rows.begin(), options.rows.end());
        options.rows.erase(std::unique(options.rows.begin(), options.rows.end()),
                           options.rows.end());
    }
    options.reportFile = parser.value(report);
    options.jsonFile = parser.value(json);
    if (parser.isSet(report) && options.reportFile.isEmpty())
        return {ParseResult::Error, QStringLiteral("The --report file name is empty.")};
    if (parser.isSet(json) && options.jsonFile.isEmpty())
        return {ParseResult::Error, QStringLiteral("The --json file name is empty.")};
    // Two documents mixed on one stream could not be read apart.
    if (options.reportFile == kStdout && options.jsonFile == kStdout)
        return {ParseResult::Error,
                QStringLiteral("--report and --json cannot both go to standard output.")};
    for (auto [option, file] : {std::pair{&html, &options.htmlFile}, {&pdf, &options.pdfFile}}) {
        *file = parser.value(*option);
        if (parser.isSet(*option) && (file->isEmpty() || *file == kStdout))
            return {ParseResult::Error, QStringLiteral("The --%1 file name is empty: give a file.")
                                            .arg(option->names().first())};
    }
    if (parser.isSet(period)) {
        const std::optional<int> days =
            ParseCount(parser.value(period), 1, tw::reports::kMaxPeriodDays);
        if (!days)
            return {ParseResult::Error,
                    QStringLiteral("Bad --period '%1': give a number of days from 1 to %2.")
                        .arg(parser.value(period))
                        .arg(tw::reports::kMaxPeriodDays)};
        if (options.htmlFile.isEmpty() && options.pdfFile.isEmpty())
            return {ParseResult::Error, QStringLiteral("--period goes with --html or --pdf.")};
        options.periodDays = *days;
    }
    if (const ParseResult r = ParseExchangeOptions(parser, options); r.kind == ParseResult::Error)
        return r;
    options.historyCsv = parser.value(historyCsv);
    if (parser.isSet(historyCsv) && options.historyCsv.isEmpty())
        return {ParseResult::Error, QStringLiteral("The --history-csv file name is empty.")};
    if (parser.isSet(historyCsv) &&
        (parser.isSet(report) || parser.isSet(json) || parser.isSet(csv) || parser.isSet(serpCsv) ||
         parser.isSet(import) || parser.isSet(html) || parser.isSet(pdf)))
        return {ParseResult::Error,
                QStringLiteral("--history-csv writes only the history, so it cannot go with "
                               "--report, --json, --csv, --serp-csv, --html, --pdf or --import.")};
    if (parser.isSet(import) && (parser.isSet(html) || parser.isSet(pdf)))
        return {ParseResult::Error,
                QStringLiteral("--import ranks nothing: --html and --pdf do not go with it "
                               "(write the report with --no-rank afterwards).")};
    for (const QString& value : parser.values(tag)) {
        const std::string t = value.trimmed().toStdString();
        if (t.empty() || t.find(',') != std::string::npos)
            return {ParseResult::Error,
                    QStringLiteral("Bad --tag '%1': give one tag, without commas.").arg(value)};
        options.tags.push_back(t);
    }
    if (parser.isSet(device) || parser.isSet(location)) {
        datafile::EntryOptions defaults;
        defaults.device = parser.value(device).toStdString();
        defaults.location = parser.value(location).toStdString();
        QString message;
        if (parser.isSet(device) && defaults.device.empty())
            return {ParseResult::Error, QStringLiteral("The --device is empty: give desktop or "
                                                       "mobile.")};
        if (!datafile::normalizeOptions(defaults, &message))
            return {ParseResult::Error, QStringLiteral("Bad --device: %1").arg(message)};
        options.device = defaults.device;
        options.location = defaults.location;
    }
    if (const ParseResult r = ParseScheduleOptions(parser, options); r.kind == ParseResult::Error)
        return r;
    options.noHistory = parser.isSet(noHistory);
    options.alertsDryRun = parser.isSet(alertsDryRun);
    options.noSave = parser.isSet(noSave);
    options.quiet = parser.isSet(quiet);
    if (QString sourceError; !ReadSourceOptions(parser, options.sources, &sourceError))
        return {ParseResult::Error, sourceError};
    return {};
}

} // namespace cli
