#include "reports/ReportDlg.h"

#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace tw::reports {

namespace {
QString suffixOf(ReportFormat format) {
    return format == ReportFormat::Pdf ? QStringLiteral("pdf") : QStringLiteral("html");
}
} // namespace

ReportDlg::ReportDlg(QWidget* parent, const ReportChoice& choice, const QStringList& knownTags,
                     const QString& startDir)
    : QDialog(parent), m_startDir(startDir) {
    setWindowTitle(QStringLiteral("Report"));
    auto* form = new QFormLayout;
    m_title = new QLineEdit(choice.title, this);
    m_title->setObjectName(QStringLiteral("title"));
    form->addRow(QStringLiteral("&Title:"), m_title);
    m_tags = new QLineEdit(choice.tags, this);
    m_tags->setObjectName(QStringLiteral("tags"));
    m_tags->setPlaceholderText(QStringLiteral("every entry"));
    if (!knownTags.isEmpty())
        m_tags->setToolTip(QStringLiteral("Entries with any of these tags, separated by commas. "
                                          "The list's tags: %1")
                               .arg(knownTags.join(QStringLiteral(", "))));
    form->addRow(QStringLiteral("T&ags:"), m_tags);
    m_period = new QSpinBox(this);
    m_period->setObjectName(QStringLiteral("period"));
    m_period->setRange(1, kMaxPeriodDays);
    m_period->setValue(choice.periodDays);
    m_period->setSuffix(QStringLiteral(" days"));
    m_period->setToolTip(QStringLiteral("The last run is compared with the run nearest to this "
                                        "many days before it."));
    form->addRow(QStringLiteral("&Period:"), m_period);
    m_format = new QComboBox(this);
    m_format->setObjectName(QStringLiteral("format"));
    m_format->addItem(QStringLiteral("PDF"), int(ReportFormat::Pdf));
    m_format->addItem(QStringLiteral("HTML"), int(ReportFormat::Html));
    m_format->setCurrentIndex(choice.format == ReportFormat::Pdf ? 0 : 1);
    form->addRow(QStringLiteral("&Format:"), m_format);
    m_file = new QLineEdit(choice.file, this);
    m_file->setObjectName(QStringLiteral("file"));
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browse);
    form->addRow(QStringLiteral("F&ile:"), fileRow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    m_file->setMinimumWidth(fontMetrics().averageCharWidth() * 48);
    connect(buttons, &QDialogButtonBox::accepted, this, &ReportDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, &ReportDlg::browse);
    connect(m_format, &QComboBox::currentIndexChanged, this, &ReportDlg::formatChanged);
}

ReportChoice ReportDlg::choice() const {
    ReportChoice c;
    c.title = m_title->text();
    c.tags = m_tags->text();
    c.periodDays = m_period->value();
    c.format = ReportFormat(m_format->currentData().toInt());
    c.file = m_file->text().trimmed();
    return c;
}

void ReportDlg::accept() {
    if (m_file->text().trimmed().isEmpty()) {
        tw::messageBox(this, QStringLiteral("Please choose the file to write the report to."));
        return;
    }
    QDialog::accept();
}

void ReportDlg::browse() {
    const ReportFormat format = choice().format;
    const QString current = m_file->text().trimmed();
    const QString name =
        tw::saveFileName(this, QStringLiteral("Save the report"),
                         current.isEmpty() ? m_startDir : QFileInfo(current).absolutePath(),
                         QFileInfo(current).fileName(),
                         format == ReportFormat::Pdf ? QStringLiteral("PDF documents (*.pdf)")
                                                     : QStringLiteral("Web pages (*.html *.htm)"),
                         suffixOf(format));
    if (!name.isEmpty())
        m_file->setText(name);
}

void ReportDlg::formatChanged() {
    const QString file = m_file->text().trimmed();
    if (file.isEmpty())
        return;
    const QFileInfo info(file);
    const QString base =
        info.suffix().isEmpty() ? file : file.left(file.size() - info.suffix().size() - 1);
    m_file->setText(base + QLatin1Char('.') + suffixOf(choice().format));
}

} // namespace tw::reports
