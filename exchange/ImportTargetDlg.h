#pragma once
// Asks for the target URL of the entries a plain-text import makes (one keyword phrase per
// line); refuses a URL the Add dialog would refuse.

#include <QDialog>

#include <string>

class QLineEdit;

namespace tw {

class ImportTargetDlg : public QDialog {
    Q_OBJECT
public:
    // fileName is shown so that the user knows which file the URL is for.
    explicit ImportTargetDlg(const QString& fileName, QWidget* parent = nullptr);

    QLineEdit* urlEdit() const { return m_urlEdit; }
    // The URL as accepted, as bytes.
    const std::string& url() const { return m_url; }

    // Stays open with a message when the URL is refused.
    void accept() override;

private:
    QLineEdit* m_urlEdit;
    std::string m_url;
};

} // namespace tw
