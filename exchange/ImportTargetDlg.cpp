#include "exchange/ImportTargetDlg.h"

#include "exchange/EntryCheck.h"
#include "ui/MessageBox.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <limits>

namespace tw {

ImportTargetDlg::ImportTargetDlg(const QString& fileName, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Import Keywords"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    auto* about = new QLabel(
        QStringLiteral("Each line of \"%1\" becomes an entry with its keywords.").arg(fileName),
        this);
    about->setTextFormat(Qt::PlainText);
    about->setWordWrap(true);
    layout->addWidget(about);
    auto* label = new QLabel(QStringLiteral("Target URL (example: www.example.com)"), this);
    layout->addWidget(label);
    m_urlEdit = new QLineEdit(this);
    m_urlEdit->setMaxLength(std::numeric_limits<int>::max());
    label->setBuddy(m_urlEdit);
    layout->addWidget(m_urlEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ImportTargetDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ImportTargetDlg::reject);
    setMinimumWidth(360);
    m_urlEdit->setFocus();
}

void ImportTargetDlg::accept() {
    const std::string url = m_urlEdit->text().toStdString();
    QString message;
    if (!exchange::checkTargetUrl(url, &message)) {
        tw::messageBox(this, message);
        return;
    }
    m_url = url;
    QDialog::accept();
}

} // namespace tw
