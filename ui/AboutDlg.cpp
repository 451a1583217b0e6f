#include "ui/AboutDlg.h"

#include "base/Maker.h"
#include "ui/DialogUnits.h"
#include "ui/HyperLink.h"
#include "ui/Resources.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent) : CResizableDlg(IDD, parent) {
    setWindowTitle(QStringLiteral("About Tallowick!"));
    const DialogUnits du(this);

    auto* icon = new QLabel(this);
    icon->setPixmap(tw::programIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    du.place(icon, 11, 17, 20, 20);

    auto* name = new QLabel(
        QStringLiteral("Tallowick! Version ") + QString::fromLatin1(maker::kVersionText), this);
    name->setTextFormat(Qt::PlainText);
    name->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    du.place(name, 40, 12, 119, 8);

    auto* line = new QLabel(QStringLiteral("Search engine rank checker"), this);
    line->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    du.place(line, 40, 22, 119, 8);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    SetControlId(ok, 1);
    du.place(ok, 178, 7, 50, 14);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    m_link = new CHyperLink(QString::fromLatin1(maker::kWebSite), this);
    SetControlId(m_link, IDC_LINK);
    du.place(m_link, 40, 32, 120, 8);

    SetTemplateSize(235, 55);
}

void CAboutDlg::OnInitDialog() {
    CResizableDlg::OnInitDialog();
    m_link->Attach();
}

bool HandleSysCommand(QWidget* owner, unsigned commandId) {
    if ((commandId & 0xFFF0u) != CAboutDlg::IDM_ABOUTBOX)
        return false;
    CAboutDlg dlg(owner);
    dlg.exec();
    return true;
}
