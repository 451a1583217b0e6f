#pragma once
// "Check for Upgrade": asks the user, reads the maker's upgrade page and tells what it says. It
// runs the check it is handed, whose owner stores the date of the last check.

#include "upgrade/UpgradeCheck.h"

#include <QDialog>

class QPushButton;

// The notice shown while the upgrade page downloads. The user cannot close it.
class CCheckingUpgradeDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 105 };
    explicit CCheckingUpgradeDlg(QWidget* parent);

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
};

class CUpgradeCheckDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 104 };

    // check: set up with SetTarget; it must outlive the dialog.
    explicit CUpgradeCheckDlg(CUpgradeCheck& check, QWidget* parent = nullptr);

    int DoModal();

    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The check: download, read, tell the user; afterwards the dialog can only be closed.
    void OnOK();
    void OnCancel();
    // Downloads and reads the page with the notice on screen.
    CUpgradeCheck::Outcome CheckWithNotice();

    CUpgradeCheck& m_check;

    QPushButton* m_okButton = nullptr;
    QPushButton* m_closeButton = nullptr;
};
