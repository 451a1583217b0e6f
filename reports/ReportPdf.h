#pragma once
// The report as a PDF: text drawn as text (it can be searched and copied), the charts' SVG
// rendered as vector drawings, page numbers in the footer. Needs Qt Gui (a QGuiApplication, the
// offscreen platform will do) but no widgets, so tallowick-rank and a scheduled run can write it.

#include "reports/ReportModel.h"

#include <QByteArray>
#include <QLocale>
#include <QPageSize>

namespace tw::reports {

// Letter where the locale's country uses it (the United States, Canada, Mexico, ...), A4
// elsewhere.
QPageSize::PageSizeId pageSizeFor(const QLocale& locale);

// The PDF's bytes on the paper of QLocale::system(). False with the reason (a logo that is no
// image, no QGuiApplication).
bool reportPdf(const Report& report, QByteArray* pdf, QString* error,
               QPageSize::PageSizeId paper = pageSizeFor(QLocale::system()));

// Writes the PDF to path (a file to attach to a mail, a report the user asked for), replacing
// an existing file only once the new one is complete. False with the reason.
bool writePdfReport(const Report& report, const QString& path, QString* error);

} // namespace tw::reports
