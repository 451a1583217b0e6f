#pragma once
// The report as one self-contained HTML file: its styles inline, its charts inline SVG, the logo
// a data: URI; nothing is fetched from elsewhere and no script runs. Written as XHTML-compatible
// markup, so that it reads as XML too. Free of widgets.

#include "reports/ReportLogo.h"
#include "reports/ReportModel.h"

#include <QByteArray>

namespace tw::reports {

QByteArray reportHtml(const Report& report, const Logo& logo);

// Reads the logo, then writes the file, replacing an existing one only once the new one is
// complete. False with the reason (a logo that is no image, a file that cannot be written).
bool writeHtmlReport(const Report& report, const QString& path, QString* error);

} // namespace tw::reports
