#include "reports/ReportFiles.h"

#include "data/Competitors.h"
#include "data/DataFileSession.h"
#include "reports/ReportHtml.h"
#include "reports/ReportPdf.h"
#include "settings/ReportSettings.h"
#include "settings/SearchSettings.h"

namespace tw::reports {

bool reportRequest(const QString& dataFilePath, const std::vector<EntryRow>& rows,
                   const datafile::EntryDefaults& defaults, const ReportOptions& options,
                   ReportRequest* out, QString* error) {
    ReportRequest request;
    request.dataFilePath = dataFilePath;
    request.entries.reserve(rows.size());
    for (const EntryRow& row : rows)
        request.entries.push_back({row.cells[ColUrl], row.cells[ColKeywords],
                                   datafile::effectiveOptions(row.options, defaults)});
    request.tags = options.tags;
    request.periodDays = options.periodDays;
    if (!datafile::ReadCompetitors(datafile::CompetitorsPath(dataFilePath), &request.competitors,
                                   error))
        return false;
    CReportSettings settings;
    settings.Load();
    request.title = options.title.value_or(settings.title);
    request.sender = settings.sender;
    request.logoPath = QString::fromStdString(settings.logoPath);
    request.entryCharts = settings.entryCharts;
    if (options.depth > 0) {
        request.depth = options.depth;
    } else {
        CSearchSettings search;
        search.Load();
        request.depth = search.m_MaxPages;
    }
    *out = std::move(request);
    return true;
}

bool writeReport(const QString& dataFilePath, const std::vector<EntryRow>& rows,
                 const datafile::EntryDefaults& defaults, const ReportOptions& options,
                 ReportFormat format, const QString& path, QString* error) {
    ReportRequest request;
    Report report;
    if (!reportRequest(dataFilePath, rows, defaults, options, &request, error) ||
        !buildReport(request, &report, error))
        return false;
    return format == ReportFormat::Pdf ? writePdfReport(report, path, error)
                                       : writeHtmlReport(report, path, error);
}

bool writeListPdf(const QString& dataFilePath, const datafile::EntryDefaults& defaults,
                  const ReportOptions& options, const QString& path, QString* error) {
    datafile::CDataFileSession dataFile(dataFilePath);
    std::vector<EntryRow> rows;
    if (!dataFile.Load(rows, error))
        return false;
    return writeReport(dataFilePath, rows, defaults, options, ReportFormat::Pdf, path, error);
}

} // namespace tw::reports
