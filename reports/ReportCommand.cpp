#include "reports/ReportCommand.h"

#include "data/DataFile.h"
#include "data/EntryListModel.h"
#include "settings/ReportSettings.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace tw::reports {

namespace {
const QString kGroup = QStringLiteral("report");
} // namespace

QString reportChoicePath(const QString& dataFilePath) {
    return datafile::BesidePath(dataFilePath, QStringLiteral(".report.ini"));
}

ReportChoice loadReportChoice(const QString& dataFilePath, const QString& startDir) {
    CReportSettings settings;
    settings.Load();
    ReportChoice c;
    c.title = QString::fromStdString(settings.title);
    c.file =
        QDir(exportFolder(startDir))
            .filePath(QFileInfo(dataFilePath).completeBaseName() + QStringLiteral("-report.pdf"));
    const QString path = reportChoicePath(dataFilePath);
    if (!QFileInfo(path).isFile())
        return c;
    const QSettings stored(path, QSettings::IniFormat);
    c.title = stored.value(kGroup + QStringLiteral("/title"), c.title).toString();
    c.tags = stored.value(kGroup + QStringLiteral("/tags")).toString();
    const int days = stored.value(kGroup + QStringLiteral("/period"), c.periodDays).toInt();
    if (days >= 1 && days <= kMaxPeriodDays)
        c.periodDays = days;
    c.format = stored.value(kGroup + QStringLiteral("/format")).toString() == QLatin1String("html")
                   ? ReportFormat::Html
                   : ReportFormat::Pdf;
    c.file = stored.value(kGroup + QStringLiteral("/file"), c.file).toString();
    return c;
}

bool saveReportChoice(const QString& dataFilePath, const ReportChoice& c, QString* error) {
    // QSettings replaces the file only once the new one is complete.
    QSettings stored(reportChoicePath(dataFilePath), QSettings::IniFormat);
    stored.setValue(kGroup + QStringLiteral("/title"), c.title);
    stored.setValue(kGroup + QStringLiteral("/tags"), c.tags);
    stored.setValue(kGroup + QStringLiteral("/period"), c.periodDays);
    stored.setValue(kGroup + QStringLiteral("/format"), c.format == ReportFormat::Html
                                                            ? QStringLiteral("html")
                                                            : QStringLiteral("pdf"));
    stored.setValue(kGroup + QStringLiteral("/file"), c.file);
    stored.sync();
    if (stored.status() == QSettings::NoError)
        return true;
    if (error)
        *error = QStringLiteral("\"%1\" could not be written.")
                     .arg(datafile::DisplayPath(reportChoicePath(dataFilePath)));
    return false;
}

bool runWindowReport(QWidget* parent, const EntryListModel& model, const QString& dataFilePath,
                     const datafile::EntryDefaults& defaults, const QString& startDir) {
    QStringList known;
    for (const EntryRow& row : model.rows()) {
        for (const std::string& t : datafile::splitTags(row.options.tags)) {
            if (!known.contains(QString::fromStdString(t), Qt::CaseInsensitive))
                known << QString::fromStdString(t);
        }
    }
    ReportDlg dlg(parent, loadReportChoice(dataFilePath, startDir), known, startDir);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    const ReportChoice c = dlg.choice();
    QString error;
    // Not remembered is no reason not to write the report; the user hears of it after.
    const bool remembered = saveReportChoice(dataFilePath, c, &error);
    const QString path = QFileInfo(c.file).absoluteFilePath();
    ReportOptions options;
    options.tags = datafile::splitTags(c.tags.toStdString());
    options.periodDays = c.periodDays;
    options.title = c.title.toStdString();
    QString writeError;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok =
        writeReport(dataFilePath, model.rows(), defaults, options, c.format, path, &writeError);
    QApplication::restoreOverrideCursor();
    if (!ok) {
        tw::messageBox(parent, writeError, QMessageBox::Ok, QMessageBox::Warning);
        return false;
    }
    QString text =
        QStringLiteral("The report was written to \"%1\".").arg(datafile::DisplayPath(path));
    if (!remembered)
        text += QStringLiteral("\n\n") + error;
    tw::messageBox(parent, text);
    return true;
}

} // namespace tw::reports
