#pragma once
// The command line of tallowick-rank: what to rank, how, and where the results go.

#include "base/RankTypes.h"
#include "cli/CliSources.h"
#include "schedule/ScheduleWhen.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// Exit statuses, for scripts that run the tool on a schedule.
enum ExitStatus : int {
    kExitOk = 0,
    kExitUsage = 2,      // bad command line; nothing was fetched or written
    kExitDataFile = 3,   // the data file could not be read or written; it is as it was
    kExitOutputFile = 4, // the report or the JSON file could not be written
    kExitNotRanked = 5,  // some entries could not be ranked (out of threads, or the call budget of
                         // the run was spent); they were left alone
    kExitHistory = 6,    // the rank history could not be written (or, for --history-csv, read);
                         // the run's results were saved. The others come first when they apply.
    kExitAlerts = 7,     // an alert channel failed, or the alert rules cannot be used; the
                         // run's results were saved. Every other status comes first.
    kExitSchedule = 8,   // --schedule: the schedule could not be written, enabled or removed;
                         // --schedules: not every schedule could be looked at
    kExitInterrupted = 130,
};

// "-" as an output file name: standard output.
inline const QString kStdout = QStringLiteral("-");

// What --threads accepts; the run itself takes at most ::kMaxRunThreads at once. --depth takes
// the run's own range, 1 to ::kMaxDepth.
inline constexpr int kMaxThreads = 256;

struct CliOptions {
    QString dataFile = QStringLiteral("tallowick.dat");
    std::optional<int> depth;
    bool wholeDepth = false; // read on past each target to the depth (else: the saved setting)
    std::optional<int> threads;
    std::optional<std::array<bool, kEngineCount>> engines; // unset: the saved switches
    std::array<std::string, kEngineCount> hosts;           // empty: the saved or built-in host
    std::vector<int> rows;                                 // 1-based, ascending; empty: all
    QString reportFile;                                    // empty: no report
    QString jsonFile;                                      // empty: no JSON
    QString csvFile;                                       // empty: no CSV table
    QString importFile;       // not empty: add this file's new entries and save; rank nothing
    std::string importTarget; // the URL of a plain-text import's entries
    bool noRank = false;      // write the outputs of the list as it is
    bool noSave = false;
    bool quiet = false;
    SourceOptions sources;         // --source, --provider-url, --country, --language, --pause
    bool noHistory = false;        // the run is not recorded in the rank history
    std::vector<std::string> tags; // not empty: rank only the entries with one of these tags
    std::string device;            // the device of entries without one; empty: desktop
    std::string location;          // the location of entries without one; empty: none
    QString historyCsv;  // not empty: write the whole history as CSV there and rank nothing
    QString serpCsvFile; // empty: no table of the kept results
    // --competitors: the sites to rank beside the targets in this run; unset: the list's
    // competitors file.
    std::optional<std::vector<std::string>> competitors;
    bool alertsDryRun = false; // print the alerts the run triggers instead of sending them
    std::optional<tw::schedule::ScheduleWhen> schedule; // --schedule: set it and rank nothing
    QStringList scheduleArgs; // the run's options given with --schedule, for the scheduled run
    bool listSchedules = false;
    QString htmlFile;    // not empty: write the client report as HTML there
    QString pdfFile;     // not empty: write the client report as PDF there
    int periodDays = 30; // the reports' period: the last run against the one this long before
};

// The sites of a --competitors value: comma-separated, blanks at either end dropped, empty items
// passed over, each once. A site with a blank inside is refused: false, with the reason.
bool ParseCompetitorList(const QString& text, std::vector<std::string>* sites, QString* error);

// The engine named by its key (base/Engines.h) on the command line; -1 for a name that is not an
// engine. Letter case does not matter.
int EngineFromKey(const QString& name);

struct ParseResult {
    enum Kind { Run, Done, Error } kind = Run;
    QString text; // Done: what to print on standard output; Error: the one-line message
};

// Reads args (the program name first). Looks at nothing but the arguments.
ParseResult ParseCommandLine(const QStringList& args, CliOptions& options);

} // namespace cli
