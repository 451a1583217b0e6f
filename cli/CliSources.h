#pragma once
// tallowick-rank's options for the columns' sources: --source, --provider-url, --country,
// --language, --pause, --parallel and --max-calls, read from the command line and laid over the
// stored settings; and --estimate.

#include "base/RankTypes.h"
#include "sources/SourceSettings.h"

#include <QCommandLineParser>
#include <QString>

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cli {

struct SourceOptions {
    std::array<std::optional<tw::sources::Source>, kEngineCount> sources; // --source SLOT=SOURCE
    std::vector<std::pair<tw::sources::Provider, std::string>> providerUrls;
    std::optional<std::string> country;
    std::optional<std::string> language;
    std::optional<std::pair<int, int>> pauseMs;                  // min, max
    std::vector<std::pair<tw::sources::Provider, int>> parallel; // --parallel PROVIDER=N
    std::optional<long> maxCalls;                                // --max-calls N
    bool estimate = false; // print the calls the run can take and rank nothing
};

// Adds the options to parser.
void AddSourceOptions(QCommandLineParser& parser);

// Reads them after parser.parse(). False with the one-line message for a bad value.
bool ReadSourceOptions(const QCommandLineParser& parser, SourceOptions& out, QString* error);

// Lays the options over sources (the stored settings with the environment's keys), then checks
// every column that will be ranked through a provider: its key, login or address is there and a
// request can be made. False with the message (no key in it) for the first that cannot.
bool ApplySourceOptions(const SourceOptions& options, const std::array<bool, kEngineCount>& slotOn,
                        tw::sources::SourceSettings* sources, QString* error);

} // namespace cli
