#pragma once
// The About box: the program's icon, name and version, and the maker's web address as a link.

#include "ui/ResizableDlg.h"

class CHyperLink;

class CAboutDlg : public CResizableDlg {
    Q_OBJECT
public:
    enum { IDD = 100, IDC_LINK = 1103 };
    // Command id of the About entry of the window menu.
    static constexpr unsigned IDM_ABOUTBOX = 0x0010;

    explicit CAboutDlg(QWidget* parent = nullptr);

    CHyperLink* link() const { return m_link; }

protected:
    void OnInitDialog() override;

private:
    CHyperLink* m_link = nullptr;
};

// A window-menu command: the About commands (ids 0x0010 to 0x001F) open the About box owned by
// owner and return true; every other command is left to the caller.
bool HandleSysCommand(QWidget* owner, unsigned commandId);
