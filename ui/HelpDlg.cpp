#include "ui/HelpDlg.h"

#include "base/Maker.h"
#include "ui/DialogUnits.h"
#include "ui/HyperLink.h"
#include "ui/WebBrowser2.h"

#include <QPushButton>

const QString CHelpDlg::kHelpUrl = QStringLiteral("res://Tallowick! 1.0.exe/23/186");

CHelpDlg::CHelpDlg(QWidget* parent) : CResizableDlg(IDD, parent) {
    // This window neither remembers its size nor shows a grip.
    m_bRestoreSize = false;
    m_bShowGrip = false;
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Tallowick! Online Help"));
    const DialogUnits du(this);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    SetControlId(m_ok, 1);
    du.place(m_ok, 406, 276, 50, 14);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    m_linkEmail = new CHyperLink(QString::fromLatin1(maker::kEmail), this);
    // The address alone is no target a mail program is started for.
    m_linkEmail->SetLinkTarget(QStringLiteral("mailto:") + QString::fromLatin1(maker::kEmail));
    SetControlId(m_linkEmail, IDC_EMAIL);
    du.place(m_linkEmail, 5, 272, 115, 9);

    m_browser = new CWebBrowser2(this);
    SetControlId(m_browser, IDC_BROWSER);
    du.place(m_browser, 5, 3, 451, 265);

    m_linkWeb = new CHyperLink(QString::fromLatin1(maker::kWebSite), this);
    SetControlId(m_linkWeb, IDC_WEBSITE);
    du.place(m_linkWeb, 5, 281, 103, 9);

    // Tab order as in the template: OK, the browser.
    setTabOrder(m_ok, m_browser);

    SetTemplateSize(460, 295);
    // Only a minimum set through setMinimumTrackSize applies.
    setMinimumSize(0, 0);
}

void CHelpDlg::setMinimumTrackSize(int width, int height) {
    m_nMinWidth = width;
    m_nMinHeight = height;
    if (m_nMinWidth > 0 && m_nMinHeight > 0)
        setMinimumSize(m_nMinWidth, m_nMinHeight);
    else
        setMinimumSize(0, 0);
}

void CHelpDlg::OnInitDialog() {
    CResizableDlg::OnInitDialog();
    m_linkEmail->Attach();
    m_linkWeb->Attach();
    m_browser->Navigate(kHelpUrl);
    AnchorControl(1, ANCHOR_MOVE_X | ANCHOR_MOVE_Y);
    AnchorControl(IDC_BROWSER, ANCHOR_SIZE_X | ANCHOR_SIZE_Y);
    AnchorControl(IDC_EMAIL, ANCHOR_MOVE_Y);
    AnchorControl(IDC_WEBSITE, ANCHOR_MOVE_Y);
    m_ok->setFocus();
}
