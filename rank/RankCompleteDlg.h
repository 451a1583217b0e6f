#pragma once
// Told at the end of a ranking run in which an enabled engine missed its target.

#include <QDialog>

#include <functional>

class CHyperLink;
class QLabel;
class QPushButton;

class CRankCompleteDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 139, IDC_SUBMIT = 1021 };

    // Without a parent the program's main window becomes the owner.
    explicit CRankCompleteDlg(QWidget* parent = nullptr);

    CHyperLink* m_linkSubmit = nullptr;

    QLabel* MessageText() const { return m_message; }

    // Shows the "Changes..." button beside OK, which calls showChanges.
    void OfferChanges(std::function<void()> showChanges);
    QPushButton* ChangesButton() const { return m_changes; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_message = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_changes = nullptr;
    std::function<void()> m_showChanges;
};
