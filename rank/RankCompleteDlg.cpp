#include "rank/RankCompleteDlg.h"

#include "base/Maker.h"
#include "ui/DialogUnits.h"
#include "ui/HyperLink.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

namespace {
QWidget* OwnerOf(QWidget* parent) {
    if (parent)
        return parent;
    // As a dialog without a parent is owned by the program's main window.
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return nullptr;
}

QLabel* Static(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}
} // namespace

CRankCompleteDlg::CRankCompleteDlg(QWidget* parent)
    : QDialog(OwnerOf(parent), Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                   Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Ranking Complete"));
    const DialogUnits du(this);
    setFixedSize(du.size(186, 73));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("1"));
    m_ok->setDefault(true);
    du.place(m_ok, 67, 52, 50, 14);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    m_changes = new QPushButton(QStringLiteral("&Changes..."), this);
    m_changes->setObjectName(QStringLiteral("changes"));
    du.place(m_changes, 97, 52, 50, 14);
    m_changes->hide();
    connect(m_changes, &QPushButton::clicked, this, [this] {
        if (m_showChanges)
            m_showChanges();
    });

    m_message = Static(QStringLiteral("Not all URL(s) were found in the results.\n\n"
                                      "Check each URL or raise the search depth."),
                       this);
    m_message->setWordWrap(true);
    du.place(m_message, 7, 7, 172, 25);

    QLabel* purpose = Static(QStringLiteral("More help:"), this);
    du.place(purpose, 7, 33, 48, 10);

    m_linkSubmit = new CHyperLink(QString::fromLatin1(maker::kWebSite), this);
    m_linkSubmit->setObjectName(QString::number(IDC_SUBMIT));
    m_linkSubmit->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    du.place(m_linkSubmit, 56, 33, 123, 8);
    m_linkSubmit->SetLinkTarget(QString::fromLatin1(maker::kWebSite));
}

void CRankCompleteDlg::OfferChanges(std::function<void()> showChanges) {
    m_showChanges = std::move(showChanges);
    // The two buttons share the place OK had alone.
    const DialogUnits du(this);
    du.place(m_ok, 37, 52, 50, 14);
    m_changes->show();
}

void CRankCompleteDlg::showEvent(QShowEvent* event) {
    // Fitted to its text once the dialog has its font and place.
    m_linkSubmit->Attach();
    QDialog::showEvent(event);
}
