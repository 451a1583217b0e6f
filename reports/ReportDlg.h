#pragma once
// The window's Report dialog: title, tags, period, format and file of a client report. Thin:
// it edits a ReportChoice; the command writes the report.

#include "reports/ReportFiles.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QSpinBox;

namespace tw::reports {

// What the dialog asks, remembered per list (ReportCommand.h).
struct ReportChoice {
    QString title;
    QString tags; // comma-separated, as typed; empty: every entry
    int periodDays = kDefaultPeriodDays;
    ReportFormat format = ReportFormat::Pdf;
    QString file;
};

class ReportDlg : public QDialog {
    Q_OBJECT
public:
    // knownTags are offered in the tags field's tooltip; startDir is where Browse starts.
    ReportDlg(QWidget* parent, const ReportChoice& choice, const QStringList& knownTags,
              const QString& startDir);
    ReportChoice choice() const;

    void accept() override;

private:
    void browse();
    // The file's extension follows the format.
    void formatChanged();

    QLineEdit* m_title = nullptr;
    QLineEdit* m_tags = nullptr;
    QSpinBox* m_period = nullptr;
    QComboBox* m_format = nullptr;
    QLineEdit* m_file = nullptr;
    QString m_startDir;
};

} // namespace tw::reports
