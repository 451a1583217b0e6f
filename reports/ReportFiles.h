#pragma once
// A list's report written to a file in one call, from the data file's entries, its history,
// its competitors and the report settings: what the window, tallowick-rank and a scheduled run
// (a PDF to attach to a mail) all call. The PDF needs a QGuiApplication (see ReportPdf.h).

#include "data/EntryListModel.h"
#include "data/EntryOptions.h"
#include "reports/ReportModel.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace tw::reports {

enum class ReportFormat { Html, Pdf };

struct ReportOptions {
    std::vector<std::string> tags; // only entries with any of them; empty: all
    int periodDays = kDefaultPeriodDays;
    std::optional<std::string> title; // set: instead of the ReportTitle setting
    int depth = 0;                    // result pages per engine; 0: the saved setting
};

// The request for the list's report: each entry with its effective options, the competitors
// file beside the data file, the report settings (title, sender, logo, entry charts). False
// with the reason when the competitors file is refused.
bool reportRequest(const QString& dataFilePath, const std::vector<EntryRow>& rows,
                   const datafile::EntryDefaults& defaults, const ReportOptions& options,
                   ReportRequest* out, QString* error);

// Builds the report and writes it to path in format. False with the reason for the user.
bool writeReport(const QString& dataFilePath, const std::vector<EntryRow>& rows,
                 const datafile::EntryDefaults& defaults, const ReportOptions& options,
                 ReportFormat format, const QString& path, QString* error);

// Reads the data file itself (without taking its lock) and writes its PDF report to path: the
// attachment of a scheduled run's mail.
bool writeListPdf(const QString& dataFilePath, const datafile::EntryDefaults& defaults,
                  const ReportOptions& options, const QString& path, QString* error);

} // namespace tw::reports
