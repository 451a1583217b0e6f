#pragma once
// The online help window: the help page compiled into the program, and below it the maker's
// e-mail and web addresses as links.

#include "ui/ResizableDlg.h"

class CHyperLink;
class CWebBrowser2;
class QPushButton;

class CHelpDlg : public CResizableDlg {
    Q_OBJECT
public:
    enum { IDD = 1004, IDC_EMAIL = 1102, IDC_WEBSITE = 1103, IDC_BROWSER = 1085 };
    static const QString kHelpUrl;

    explicit CHelpDlg(QWidget* parent = nullptr);

    CHyperLink* emailLink() const { return m_linkEmail; }
    CHyperLink* webLink() const { return m_linkWeb; }
    CWebBrowser2* browser() const { return m_browser; }
    QPushButton* okButton() const { return m_ok; }

    // A minimum window size; none unless both are above zero.
    void setMinimumTrackSize(int width, int height);

protected:
    void OnInitDialog() override;

private:
    CHyperLink* m_linkEmail = nullptr;
    CHyperLink* m_linkWeb = nullptr;
    CWebBrowser2* m_browser = nullptr;
    QPushButton* m_ok = nullptr;
    int m_nMinWidth = 0;
    int m_nMinHeight = 0;
};
