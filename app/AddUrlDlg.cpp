#include "app/AddUrlDlg.h"

#include "exchange/EntryCheck.h"
#include "ui/DialogUnits.h"
#include "ui/MessageBox.h"
#include "ui/ResizableDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <limits>

namespace {
QString toText(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The edit's text as bytes; unchanged text keeps the bytes it was filled with, so cells that
// are not valid UTF-8 survive an edit of the other field.
std::string fromEdit(const QLineEdit* edit, const QString& shown, const std::string& original) {
    if (edit->text() == shown)
        return original;
    return edit->text().toStdString();
}

QLineEdit* makeEdit(QWidget* parent, int id) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(std::numeric_limits<int>::max());
    CResizableDlg::SetControlId(edit, id);
    return edit;
}
} // namespace

CAddUrlDlg::CAddUrlDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Add New URL"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const DialogUnits du(this);

    m_urlEdit = makeEdit(this, IDC_URL);
    du.place(m_urlEdit, 7, 19, 172, 14);
    m_keywordsEdit = makeEdit(this, IDC_KEYWORDS);
    du.place(m_keywordsEdit, 7, 51, 172, 14);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    CResizableDlg::SetControlId(ok, 1);
    ok->setDefault(true);
    du.place(ok, 39, 74, 50, 14);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    CResizableDlg::SetControlId(cancel, 2);
    du.place(cancel, 95, 74, 50, 14);
    connect(ok, &QPushButton::clicked, this, &CAddUrlDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CAddUrlDlg::reject);

    auto* urlLabel = new QLabel(QStringLiteral("Target URL (example: www.example.com)"), this);
    du.place(urlLabel, 7, 7, 172, 8);
    auto* keywordsLabel =
        new QLabel(QStringLiteral("Target Keywords (example: used cars selling autos)"), this);
    du.place(keywordsLabel, 7, 39, 172, 8);

    QSize size = du.size(186, 95);
    // The labels were measured for a narrower font than most desktops use: widen the dialog
    // rather than clip them.
    const int extra = std::max(urlLabel->sizeHint().width(), keywordsLabel->sizeHint().width()) -
                      urlLabel->width();
    if (extra > 0) {
        for (QWidget* w : {static_cast<QWidget*>(urlLabel), static_cast<QWidget*>(keywordsLabel),
                           static_cast<QWidget*>(m_urlEdit), static_cast<QWidget*>(m_keywordsEdit)})
            w->resize(w->width() + extra, w->height());
        for (QWidget* w : {ok, cancel})
            w->move(w->x() + extra / 2, w->y());
        size.rwidth() += extra;
    }
    setFixedSize(size);
}

int CAddUrlDlg::exec() {
    m_shownUrl = toText(m_strUrl);
    m_shownKeywords = toText(m_strKeywords);
    m_urlEdit->setText(m_shownUrl);
    m_keywordsEdit->setText(m_shownKeywords);
    m_urlEdit->setFocus();
    return QDialog::exec();
}

void CAddUrlDlg::accept() {
    OnOK();
}

void CAddUrlDlg::OnOK() {
    const std::string url = fromEdit(m_urlEdit, m_shownUrl, m_strUrl);
    const std::string keywords = fromEdit(m_keywordsEdit, m_shownKeywords, m_strKeywords);
    m_strUrl = url;
    m_strKeywords = keywords;
    m_shownUrl = m_urlEdit->text();
    m_shownKeywords = m_keywordsEdit->text();

    // The rule every way in shares (imports apply it to each line); a typed URL may hold tabs.
    if (QString message; !tw::exchange::checkEntry(m_strUrl, m_strKeywords, &message,
                                                   tw::exchange::UrlRule::NoSpaces)) {
        tw::messageBox(this, message);
        return;
    }
    QDialog::accept();
}
