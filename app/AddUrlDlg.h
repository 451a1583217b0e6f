#pragma once
// Asks for an entry's target URL and keywords and checks them before it closes.

#include "data/EntryOptions.h"

#include <QDialog>
#include <QString>

#include <string>

class QComboBox;
class QLineEdit;

class CAddUrlDlg : public QDialog {
    Q_OBJECT
public:
    enum {
        IDD = 129,
        IDC_URL = 1000,
        IDC_KEYWORDS = 1001,
        IDC_COUNTRY = 1010,
        IDC_LANGUAGE = 1011,
        IDC_DEVICE = 1012,
        IDC_LOCATION = 1013,
        IDC_TAGS = 1014,
    };

    explicit CAddUrlDlg(QWidget* parent = nullptr);

    // Byte strings; texts the user leaves untouched keep their exact bytes.
    std::string m_strKeywords;
    std::string m_strUrl;
    // Where and how the entry is ranked; empty values are the list's defaults.
    datafile::EntryOptions m_options;

    QLineEdit* urlEdit() const { return m_urlEdit; }
    QLineEdit* keywordsEdit() const { return m_keywordsEdit; }
    QComboBox* countryBox() const { return m_country; }
    QComboBox* languageBox() const { return m_language; }
    QComboBox* deviceBox() const { return m_device; }
    QLineEdit* locationEdit() const { return m_location; }
    QLineEdit* tagsEdit() const { return m_tags; }

    int exec() override;
    // Validates; stays open with a message when a check fails.
    void accept() override;

private:
    void OnOK();

    QLineEdit* m_urlEdit;
    QLineEdit* m_keywordsEdit;
    QComboBox* m_country;
    QComboBox* m_language;
    QComboBox* m_device;
    QLineEdit* m_location;
    QLineEdit* m_tags;
    QString m_shownUrl;
    QString m_shownKeywords;
};
