#pragma once
// Asks for an entry's target URL and keywords and checks them before it closes.

#include <QDialog>
#include <QString>

#include <string>

class QLineEdit;

class CAddUrlDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 129, IDC_URL = 1000, IDC_KEYWORDS = 1001 };

    explicit CAddUrlDlg(QWidget* parent = nullptr);

    // Byte strings; texts the user leaves untouched keep their exact bytes.
    std::string m_strKeywords;
    std::string m_strUrl;

    QLineEdit* urlEdit() const { return m_urlEdit; }
    QLineEdit* keywordsEdit() const { return m_keywordsEdit; }

    int exec() override;
    // Validates; stays open with a message when a check fails.
    void accept() override;

private:
    void OnOK();

    QLineEdit* m_urlEdit;
    QLineEdit* m_keywordsEdit;
    QString m_shownUrl;
    QString m_shownKeywords;
};
