#include "ui/AuthPrompt.h"

#include "base/BlockingCall.h"
#include "base/PageFetcher.h"
#include "ui/MessageBox.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QQueue>
#include <QThread>
#include <QUrl>

#include <mutex>
#include <optional>
#include <utility>

namespace {
// Touched on the window's thread only.
QQueue<std::optional<std::pair<QString, QString>>> g_answers; // nullopt: Cancel
QStringList g_requests;
// The last answer per site, offered again: a run asks once per page.
QHash<QString, std::pair<QString, QString>> g_lastAnswer;

QString siteOf(const QString& url) {
    const QUrl u(url);
    if (!u.isValid() || u.host().isEmpty())
        return url;
    return u
        .adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery |
                  QUrl::RemoveFragment)
        .toString();
}
} // namespace

CAuthDlg::CAuthDlg(QWidget* owner, const QString& site, const QString& user,
                   const QString& password)
    : QDialog(owner) {
    setWindowTitle(tw::kCaption);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    auto* layout = new QFormLayout(this);
    auto* text = new QLabel(
        QStringLiteral("The web site %1 asks for a user name and password.").arg(site), this);
    // The address comes from a page or a setting: shown as it is, never as markup.
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    layout->addRow(text);
    m_user = new QLineEdit(user, this);
    m_user->setObjectName(QStringLiteral("user"));
    layout->addRow(QStringLiteral("&User name:"), m_user);
    m_password = new QLineEdit(password, this);
    m_password->setObjectName(QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    layout->addRow(QStringLiteral("&Password:"), m_password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addRow(buttons);
    m_user->setFocus();
    m_user->selectAll();
}

QString CAuthDlg::user() const {
    return m_user->text();
}

QString CAuthDlg::password() const {
    return m_password->text();
}

namespace tw {

bool askCredentials(QWidget* owner, const QString& url, QString& user, QString& password) {
    g_requests.append(url);
    const QString site = siteOf(url);
    bool accepted = false;
    if (!g_answers.isEmpty()) {
        const auto answer = g_answers.dequeue();
        accepted = answer.has_value();
        if (accepted) {
            user = answer->first;
            password = answer->second;
        }
    } else {
        const auto last = g_lastAnswer.value(site);
        CAuthDlg dlg(owner, site, last.first, last.second);
        accepted = dlg.exec() == QDialog::Accepted;
        if (accepted) {
            user = dlg.user();
            password = dlg.password();
        }
    }
    if (accepted)
        g_lastAnswer.insert(site, {user, password});
    return accepted;
}

void installAuthPrompt(QWidget* owner) {
    // Downloads may start on workers at any time; their hand-over must be wired up here first.
    tw::PrepareBlockingCalls();
    const QPointer<QWidget> guard(owner);
    CPageFetcher::SetAuthPrompt(
        [guard](const std::string& url, std::string& user, std::string& password) {
            QCoreApplication* app = QCoreApplication::instance();
            if (!app)
                return false;
            bool accepted = false;
            auto ask = [&] {
                QString u, p;
                accepted = askCredentials(guard.data(), QString::fromStdString(url), u, p);
                if (accepted) {
                    user = u.toStdString();
                    password = p.toStdString();
                }
            };
            if (QThread::currentThread() == app->thread()) {
                ask();
                return accepted;
            }
            // One question at a time, however many workers meet a 401 together. The window's
            // thread never waits for this lock: it runs the dialogs and asks directly.
            static std::mutex oneAtATime;
            std::lock_guard<std::mutex> lock(oneAtATime);
            tw::BlockingCall(app, ask);
            return accepted;
        });
}

void removeAuthPrompt() {
    CPageFetcher::SetAuthPrompt(nullptr);
}

namespace testing {
void setNextCredentials(const QString& user, const QString& password) {
    g_answers.enqueue(std::make_pair(user, password));
}
void setNextCredentialsCancelled() {
    g_answers.enqueue(std::nullopt);
}
QStringList takeCredentialRequests() {
    QStringList out;
    out.swap(g_requests);
    return out;
}
} // namespace testing

} // namespace tw
