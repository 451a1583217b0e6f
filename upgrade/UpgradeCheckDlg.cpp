#include "upgrade/UpgradeCheckDlg.h"

#include "base/BlockingCall.h"
#include "ui/DialogUnits.h"
#include "ui/MessageBox.h"
#include "ui/ShellOpen.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include <exception>
#include <system_error>
#include <thread>

namespace {
QString fromBytes(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace

CCheckingUpgradeDlg::CCheckingUpgradeDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Checking for any upgrades .."));
    // Caption only: no close box, the notice goes away when the download is over.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    const DialogUnits du(this);
    setFixedSize(du.size(168, 26));
    auto* text = new QLabel(QStringLiteral("Checking for new upgrades of the software .."), this);
    text->setObjectName(QStringLiteral("1076"));
    du.place(text, 12, 7, 144, 10);
    // Drawn for another font: widen the notice rather than clip its text.
    const int extra = text->sizeHint().width() - text->width();
    if (extra > 0) {
        text->resize(text->width() + extra, text->height());
        setFixedSize(width() + extra, height());
    }
}

void CCheckingUpgradeDlg::reject() {
    // Escape does not take the notice away: it goes when the download is over.
}

void CCheckingUpgradeDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
}

CUpgradeCheckDlg::CUpgradeCheckDlg(CUpgradeCheck& check, QWidget* parent)
    : QDialog(parent), m_check(check) {
    setWindowTitle(QStringLiteral("Check for Upgrade"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const DialogUnits du(this);
    setFixedSize(du.size(160, 58));

    auto* question = new QLabel(
        QStringLiteral("Would you like to check for an upgrade of this software?"), this);
    question->setWordWrap(true);
    du.place(question, 21, 7, 117, 18);

    // Neither button is the default: Enter presses the one that has the focus.
    m_okButton = new QPushButton(QStringLiteral("&OK"), this);
    m_okButton->setObjectName(QStringLiteral("1"));
    du.place(m_okButton, 21, 37, 50, 14);
    m_closeButton = new QPushButton(QStringLiteral("&Close"), this);
    m_closeButton->setObjectName(QStringLiteral("2"));
    du.place(m_closeButton, 77, 37, 50, 14);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::reject);
}

int CUpgradeCheckDlg::DoModal() {
    return exec();
}

void CUpgradeCheckDlg::showEvent(QShowEvent* event) {
    // Every opening starts afresh: one check per opening.
    if (!event->spontaneous()) {
        m_okButton->setEnabled(true);
        m_okButton->setFocus();
    }
    QDialog::showEvent(event);
}

void CUpgradeCheckDlg::accept() {
    OnOK();
}

void CUpgradeCheckDlg::reject() {
    OnCancel();
}

void CUpgradeCheckDlg::OnCancel() {
    QDialog::done(QDialog::Rejected);
}

CUpgradeCheck::Outcome CUpgradeCheckDlg::CheckWithNotice() {
    // The download runs on a thread of its own while this thread goes on handling events, so
    // the notice is painted and the windows stay drawn for as long as the server takes. The
    // notice is modal: nothing else can be started meanwhile.
    CCheckingUpgradeDlg notice(this);
    notice.setWindowModality(Qt::ApplicationModal);
    notice.show();

    QEventLoop loop;
    tw::PrepareBlockingCalls();
    auto outcome = CUpgradeCheck::Outcome::Unreadable;
    std::thread download;
    try {
        download = std::thread([this, &loop, &outcome] {
            try {
                outcome = m_check.CheckNow();
            } catch (const std::exception&) {
                outcome =
                    CUpgradeCheck::Outcome::Unreadable; // out of memory while reading the page
            }
            // Runs on the window's thread from inside loop.exec(), which this waits for.
            tw::BlockingCall(&loop, [&loop] { loop.quit(); });
        });
    } catch (const std::system_error&) {
        // No thread to be had: check here, with the notice drawn once before the wait.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        outcome = m_check.CheckNow();
        notice.hide();
        return outcome;
    }
    loop.exec();
    download.join();
    notice.hide();
    return outcome;
}

void CUpgradeCheckDlg::OnOK() {
    if (!m_okButton->isEnabled())
        return; // Enter after a check: there is nothing more to do here

    const CUpgradeCheck::Outcome outcome = CheckWithNotice();

    bool close = false;
    switch (outcome) {
    case CUpgradeCheck::Outcome::Newer:
        if (tw::messageBox(this, fromBytes(m_check.NewUpgradeText()),
                           QMessageBox::Yes | QMessageBox::No, QMessageBox::NoIcon,
                           QStringLiteral("A new upgrade is available.")) != QMessageBox::Yes) {
            close = true;
        } else if (tw::isWebAddress(fromBytes(m_check.m_strDownloadLink))) {
            tw::shellOpen(fromBytes(m_check.m_strDownloadLink));
        } else {
            // Only web addresses from a page are handed on, never a program or a file.
            tw::messageBox(this,
                           QStringLiteral("The download link on the upgrade page is not a web "
                                          "address:\n\n") +
                               fromBytes(m_check.m_strDownloadLink));
        }
        break;
    case CUpgradeCheck::Outcome::NotNewer:
        tw::messageBox(this, fromBytes(m_check.NotNewerText()));
        break;
    case CUpgradeCheck::Outcome::Unreadable:
        tw::messageBox(this, fromBytes(m_check.UnreadableText()));
        break;
    }

    m_okButton->setEnabled(false);
    m_closeButton->setFocus();
    if (close)
        OnCancel();
}
