#pragma once
// The Alerts dialog: the open list's alert rules and channels (its NAME.alerts.ini) and the mail
// server every list's mail goes through (the settings). OK checks and writes both; Cancel
// writes nothing.

#include "alerts/AlertRules.h"
#include "alerts/AlertSend.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QSpinBox;

class CAlertsDlg : public QDialog {
    Q_OBJECT
public:
    CAlertsDlg(QWidget* parent, const QString& dataFilePath);

    void SetValues(const tw::alerts::AlertConfig& config, const tw::alerts::MailServer& mail);
    // What the controls hold; false with the first value that cannot be used.
    bool Edited(tw::alerts::AlertConfig* config, tw::alerts::MailServer* mail,
                QString* error) const;

    void accept() override;

private:
    QString m_dataFilePath;
    tw::alerts::AlertConfig m_loaded; // keeps what the dialog does not show (mail_report)
    QCheckBox* m_topOn;
    QLineEdit* m_top;
    QCheckBox* m_movedOn;
    QSpinBox* m_moved;
    QCheckBox* m_newAboveOn;
    QSpinBox* m_newAbove;
    QCheckBox* m_errors;
    QLineEdit* m_webhook;
    QLineEdit* m_mailTo;
    QCheckBox* m_desktop;
    QLineEdit* m_smtpUrl;
    QLineEdit* m_smtpUser;
    QLineEdit* m_smtpPassword;
    QLineEdit* m_mailFrom;
};

namespace tw::alerts {
// The window's Alerts command for the list at dataFilePath: tells the user instead when the list
// is not saved yet or is shown read-only, or its rule file cannot be read.
void EditAlerts(QWidget* parent, const QString& dataFilePath, bool readOnly);
} // namespace tw::alerts
