#include "alerts/AlertsDlg.h"

#include "data/DataFile.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string bytes(const QLineEdit* edit) {
    return edit->text().trimmed().toStdString();
}

QLineEdit* field(QWidget* parent, const char* name, const QString& placeholder) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setPlaceholderText(placeholder);
    return edit;
}

QCheckBox* check(QWidget* parent, const char* name, const QString& text) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QSpinBox* spin(QWidget* parent, const char* name, int highest, int value) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(1, highest);
    box->setValue(value);
    return box;
}

} // namespace

CAlertsDlg::CAlertsDlg(QWidget* parent, const QString& dataFilePath)
    : QDialog(parent), m_dataFilePath(dataFilePath) {
    setWindowTitle(QStringLiteral("Alerts of %1").arg(QFileInfo(dataFilePath).fileName()));
    setMinimumWidth(520);
    auto* outer = new QVBoxLayout(this);

    auto* rules = new QGroupBox(QStringLiteral("After a run, alert when an entry"), this);
    auto* grid = new QGridLayout(rules);
    m_topOn = check(rules, "topOn", QStringLiteral("&leaves or enters the top"));
    m_top = field(rules, "top", QStringLiteral("3,10"));
    m_movedOn = check(rules, "movedOn", QStringLiteral("&moves at least this many places"));
    m_moved = spin(rules, "moved", tw::alerts::kMaxRank, 5);
    m_newAboveOn = check(rules, "newAboveOn",
                         QStringLiteral("gets a &new site above it, within "
                                        "the top"));
    m_newAbove = spin(rules, "newAbove", tw::alerts::kMaxNewAbove, 10);
    m_errors = check(rules, "errors", QStringLiteral("reads \"&error\" in a column"));
    grid->addWidget(m_topOn, 0, 0);
    grid->addWidget(m_top, 0, 1);
    grid->addWidget(m_movedOn, 1, 0);
    grid->addWidget(m_moved, 1, 1);
    grid->addWidget(m_newAboveOn, 2, 0);
    grid->addWidget(m_newAbove, 2, 1);
    grid->addWidget(m_errors, 3, 0, 1, 2);
    connect(m_topOn, &QCheckBox::toggled, m_top, &QWidget::setEnabled);
    connect(m_movedOn, &QCheckBox::toggled, m_moved, &QWidget::setEnabled);
    connect(m_newAboveOn, &QCheckBox::toggled, m_newAbove, &QWidget::setEnabled);
    outer->addWidget(rules);

    auto* send = new QGroupBox(QStringLiteral("Send one message to"), this);
    auto* sendForm = new QFormLayout(send);
    m_webhook = field(send, "webhook", QStringLiteral("https://hooks.example/..."));
    m_mailTo = field(send, "mailTo", QStringLiteral("me@my-site.example, client@client.example"));
    m_desktop = check(send, "desktop", QStringLiteral("a &desktop notification"));
    sendForm->addRow(QStringLiteral("&Webhook (POST, JSON):"), m_webhook);
    sendForm->addRow(QStringLiteral("M&ail to:"), m_mailTo);
    sendForm->addRow(QString(), m_desktop);
    outer->addWidget(send);

    auto* server = new QGroupBox(QStringLiteral("Mail server (for every list)"), this);
    auto* serverForm = new QFormLayout(server);
    m_smtpUrl = field(server, "smtpUrl",
                      QStringLiteral("smtp://mail.example:587 or "
                                     "smtps://mail.example:465"));
    m_smtpUser = field(server, "smtpUser", QString());
    m_smtpPassword = field(server, "smtpPassword", QString());
    m_smtpPassword->setEchoMode(QLineEdit::Password);
    m_mailFrom = field(server, "mailFrom", QStringLiteral("tallowick@my-site.example"));
    serverForm->addRow(QStringLiteral("&SMTP server:"), m_smtpUrl);
    serverForm->addRow(QStringLiteral("&User:"), m_smtpUser);
    serverForm->addRow(QStringLiteral("&Password:"), m_smtpPassword);
    serverForm->addRow(QStringLiteral("&From:"), m_mailFrom);
    outer->addWidget(server);

    auto* note = new QLabel(
        QStringLiteral("Kept beside the list in \"%1\". A channel that fails is tried twice more; "
                       "the run's results are saved all the same.")
            .arg(QFileInfo(tw::alerts::alertsPathFor(dataFilePath)).fileName()),
        this);
    note->setWordWrap(true);
    outer->addWidget(note);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    outer->addWidget(buttons);
    SetValues({}, {});
}

void CAlertsDlg::SetValues(const tw::alerts::AlertConfig& c, const tw::alerts::MailServer& mail) {
    m_loaded = c;
    QStringList top;
    for (int n : c.top)
        top << QString::number(n);
    m_topOn->setChecked(!c.top.empty());
    m_top->setText(top.join(QStringLiteral(",")));
    m_top->setEnabled(!c.top.empty());
    m_movedOn->setChecked(c.moved > 0);
    m_moved->setEnabled(c.moved > 0);
    if (c.moved > 0)
        m_moved->setValue(c.moved);
    m_newAboveOn->setChecked(c.newAbove > 0);
    m_newAbove->setEnabled(c.newAbove > 0);
    if (c.newAbove > 0)
        m_newAbove->setValue(c.newAbove);
    m_errors->setChecked(c.errors);
    m_webhook->setText(q(c.webhook));
    QStringList to;
    for (const std::string& a : c.mailTo)
        to << q(a);
    m_mailTo->setText(to.join(QStringLiteral(", ")));
    m_desktop->setChecked(c.desktop);
    m_smtpUrl->setText(q(mail.url));
    m_smtpUser->setText(q(mail.user));
    m_smtpPassword->setText(q(mail.password));
    m_mailFrom->setText(q(mail.from));
}

bool CAlertsDlg::Edited(tw::alerts::AlertConfig* c, tw::alerts::MailServer* mail,
                        QString* error) const {
    *c = m_loaded;
    QString why;
    c->top.clear();
    if (m_topOn->isChecked()) {
        if (!tw::alerts::parseTopList(bytes(m_top), &c->top, &why) || c->top.empty()) {
            *error = QStringLiteral("\"Leaves or enters the top\" %1.")
                         .arg(why.isEmpty() ? QStringLiteral("needs a rank, e.g. 3,10") : why);
            return false;
        }
    }
    c->moved = m_movedOn->isChecked() ? m_moved->value() : 0;
    c->newAbove = m_newAboveOn->isChecked() ? m_newAbove->value() : 0;
    c->errors = m_errors->isChecked();
    c->webhook = bytes(m_webhook);
    if (!c->webhook.empty() && !tw::alerts::isWebhookUrl(c->webhook)) {
        *error = QStringLiteral("The webhook needs an http:// or https:// address.");
        return false;
    }
    if (!tw::alerts::parseMailList(bytes(m_mailTo), &c->mailTo, &why)) {
        *error = QStringLiteral("Mail to: %1.").arg(why);
        return false;
    }
    c->desktop = m_desktop->isChecked();
    mail->url = bytes(m_smtpUrl);
    mail->user = bytes(m_smtpUser);
    mail->password = m_smtpPassword->text().toStdString(); // a blank may belong to it
    mail->from = bytes(m_mailFrom);
    if (!c->mailTo.empty() && !tw::alerts::checkMailServer(*mail, &why)) {
        *error = QStringLiteral("Mail cannot be sent: %1").arg(why);
        return false;
    }
    return true;
}

void CAlertsDlg::accept() {
    tw::alerts::AlertConfig config;
    tw::alerts::MailServer mail = tw::alerts::readMailServer(false);
    const bool noTls = mail.noTls; // a setting of its own, not shown here
    QString error;
    if (!Edited(&config, &mail, &error)) {
        tw::messageBox(this, error, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    mail.noTls = noTls;
    if (!tw::alerts::writeAlerts(m_dataFilePath, config, &error) ||
        !tw::alerts::writeMailServer(mail, &error)) {
        tw::messageBox(this, error, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    QDialog::accept();
}

namespace tw::alerts {

void EditAlerts(QWidget* parent, const QString& dataFilePath, bool readOnly) {
    if (readOnly) {
        tw::messageBox(parent, QStringLiteral("This list is open read-only: its alerts cannot be "
                                              "changed here."));
        return;
    }
    if (!QFileInfo(dataFilePath).isFile()) {
        tw::messageBox(parent, QStringLiteral("Please save the list first: its alerts are kept "
                                              "beside its data file."));
        return;
    }
    std::optional<AlertConfig> config;
    QString error;
    if (!readAlerts(dataFilePath, &config, nullptr, &error)) {
        tw::messageBox(parent,
                       error + QStringLiteral("\n\nCorrect the file or remove it to start anew."),
                       QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    CAlertsDlg dlg(parent, dataFilePath);
    // The stored password only: one from the environment is never written into the settings.
    dlg.SetValues(config.value_or(AlertConfig{}), readMailServer(false));
    dlg.exec();
}

} // namespace tw::alerts
