#pragma once
// The window's answer to a web server that asks for a password (HTTP 401): a small dialog for
// user name and password. The page fetcher calls it from any thread; the dialog always runs on
// the window's thread. Tests pre-answer it. The command-line tool has no prompt.

#include <QDialog>
#include <QString>

class QLineEdit;

class CAuthDlg : public QDialog {
    Q_OBJECT
public:
    // site is shown to the user; user and password start filled in (the last answer given).
    CAuthDlg(QWidget* owner, const QString& site, const QString& user, const QString& password);

    QString user() const;
    QString password() const;
    QLineEdit* userEdit() const { return m_user; }
    QLineEdit* passwordEdit() const { return m_password; }

private:
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
};

namespace tw {

// Asks for the user name and password that url's server wants. False when the user cancels.
bool askCredentials(QWidget* owner, const QString& url, QString& user, QString& password);

// Makes every download in the process ask through askCredentials when a server answers 401.
// Call on the window's thread, which must go on handling events while downloads run (the
// ranking run and the upgrade check do).
void installAuthPrompt(QWidget* owner);
void removeAuthPrompt();

namespace testing {
// Queues the answer of the next prompt; the dialog is then not shown.
void setNextCredentials(const QString& user, const QString& password);
void setNextCredentialsCancelled();
// The addresses every prompt was asked for since the last call, oldest first.
QStringList takeCredentialRequests();
} // namespace testing

} // namespace tw
