#pragma once
// How the HTML and PDF reports present themselves: the title, the sender and the sender's logo,
// and whether each entry gets a small rank chart. Kept in the one settings store; nothing of
// ours goes into a report unless the user puts it here.

#include <string>

struct CReportSettings {
    // Entry charts are drawn, when switched on, for lists of at most this many entries.
    static constexpr int kEntryChartLimit = 50;

    std::string title = "Search ranking report"; // ReportTitle
    std::string sender;                          // ReportSender: "Jane Doe, Acme Web"
    std::string logoPath;                        // ReportLogo: a PNG or SVG file; empty: none
    bool entryCharts = true;                     // ReportEntryCharts

    // Reads the stored values over the current ones; what is absent keeps its value.
    void Load();
    // Writes every value.
    void Save() const;

    bool operator==(const CReportSettings&) const = default;
};
