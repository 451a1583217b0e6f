#include "app/AddUrlDlg.h"

#include "exchange/EntryCheck.h"
#include "ui/DialogUnits.h"
#include "ui/MessageBox.h"
#include "ui/ResizableDlg.h"

#include <QComboBox>
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

// An editable list of codes with their names ("gb - United Kingdom"); the first item, empty, is
// the list's default. Another two-letter code may be typed.
QComboBox* makeCodeBox(QWidget* parent, int id, const std::vector<datafile::CodeName>& codes) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItem(QString(), QString());
    for (const datafile::CodeName& c : codes)
        box->addItem(QStringLiteral("%1 - %2").arg(QLatin1String(c.code), QLatin1String(c.name)),
                     QLatin1String(c.code));
    CResizableDlg::SetControlId(box, id);
    return box;
}

// The code a box holds: the chosen item's, or the text typed before any " - ".
std::string codeOf(const QComboBox* box) {
    const QString text = box->currentText().trimmed();
    const int item = box->findText(text);
    if (item >= 0)
        return box->itemData(item).toString().toStdString();
    return text.section(QStringLiteral(" - "), 0, 0).trimmed().toStdString();
}

void showCode(QComboBox* box, const std::string& code) {
    const int item = box->findData(QString::fromStdString(code));
    if (item >= 0)
        box->setCurrentIndex(item);
    else
        box->setEditText(QString::fromStdString(code));
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

    // Where and how the entry is ranked, below the URL and keywords and their buttons.
    struct Row {
        const char* label;
        QWidget* field;
    };
    m_country = makeCodeBox(this, IDC_COUNTRY, datafile::CountryCodes());
    m_language = makeCodeBox(this, IDC_LANGUAGE, datafile::LanguageCodes());
    m_device = new QComboBox(this);
    m_device->addItem(QStringLiteral("(list default)"), QString());
    m_device->addItem(QStringLiteral("desktop"), QStringLiteral("desktop"));
    m_device->addItem(QStringLiteral("mobile"), QStringLiteral("mobile"));
    CResizableDlg::SetControlId(m_device, IDC_DEVICE);
    m_location = makeEdit(this, IDC_LOCATION);
    m_location->setPlaceholderText(QStringLiteral("e.g. Austin,Texas,United States"));
    m_tags = makeEdit(this, IDC_TAGS);
    m_tags->setPlaceholderText(QStringLiteral("words separated by commas"));
    const Row rows[] = {{"&Country", m_country},
                        {"&Language", m_language},
                        {"&Device", m_device},
                        {"L&ocation", m_location},
                        {"&Tags", m_tags}};
    int y = 95;
    for (const Row& row : rows) {
        auto* label = new QLabel(QString::fromLatin1(row.label), this);
        label->setBuddy(row.field);
        du.place(label, 7, y + 3, 40, 8);
        du.place(row.field, 50, y, 129, 14);
        y += 17;
    }
    for (QComboBox* box : {m_country, m_language})
        box->setToolTip(QStringLiteral("Empty: the Country and Language of the settings."));

    QSize size = du.size(186, y + 4);
    // The labels were measured for a narrower font than most desktops use: widen the dialog
    // rather than clip them.
    const int extra = std::max(urlLabel->sizeHint().width(), keywordsLabel->sizeHint().width()) -
                      urlLabel->width();
    if (extra > 0) {
        for (QWidget* w : {static_cast<QWidget*>(urlLabel), static_cast<QWidget*>(keywordsLabel),
                           static_cast<QWidget*>(m_urlEdit), static_cast<QWidget*>(m_keywordsEdit),
                           static_cast<QWidget*>(m_country), static_cast<QWidget*>(m_language),
                           static_cast<QWidget*>(m_device), static_cast<QWidget*>(m_location),
                           static_cast<QWidget*>(m_tags)})
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
    showCode(m_country, m_options.country);
    showCode(m_language, m_options.language);
    const int device = m_device->findData(QString::fromStdString(m_options.device));
    m_device->setCurrentIndex(device >= 0 ? device : 0);
    m_location->setText(QString::fromStdString(m_options.location));
    m_tags->setText(QString::fromStdString(m_options.tags));
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
    datafile::EntryOptions options{codeOf(m_country), codeOf(m_language),
                                   m_device->currentData().toString().toStdString(),
                                   m_location->text().toStdString(), m_tags->text().toStdString()};
    if (QString message; !datafile::normalizeOptions(options, &message)) {
        tw::messageBox(this, message);
        return;
    }
    m_options = std::move(options);
    QDialog::accept();
}
