#pragma once
// The Competitors dialog: edits the list's competitors file as text (one site per line, "#"
// starts a comment) and offers the sites most often above the targets in the latest run, each
// with how often, to add with one click. OK checks the text and writes the file; a line the
// file cannot hold keeps the dialog open with the reason.

#include "history/CompetitorsModel.h"
#include "ui/ResizableDlg.h"

#include <QString>

#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace tw {

class CompetitorsDlg : public CResizableDlg {
    Q_OBJECT
public:
    enum {
        IDD = 151,
        IDC_SITES = 1311,
        IDC_SITES_NOTE = 1312,
        IDC_OFFERED = 1313,
        IDC_OFFERED_NOTE = 1314,
        IDC_OK = 1,
        IDC_CANCEL = 2,
    };

    // path: the competitors file OK writes.
    explicit CompetitorsDlg(const QString& path, QWidget* parent = nullptr);

    // The file's text as it is, comments included.
    void setText(const QByteArray& text);
    QByteArray text() const;
    // The sites to offer, most often first, out of scans results counted.
    void setOffered(const std::vector<SiteCount>& sites, int scans);
    // Shown in place of the offer when there is nothing to count (no run yet, or the history
    // could not be read).
    void setOfferNote(const QString& note);
    // Nothing is written: the list is open read-only.
    void setReadOnly(bool readOnly);

    QPlainTextEdit* sitesEdit() const { return m_sites; }
    QTableWidget* offeredTable() const { return m_offered; }
    // The Add button of the offered row.
    QPushButton* addButton(int row) const;
    // Appends site as a line of its own unless the text has it already.
    void addSite(const std::string& site);

public slots:
    void accept() override;

protected:
    void OnInitDialog() override;

private:
    // Marks the offered sites the text holds already.
    void refreshOffered();

    QString m_path;
    QPlainTextEdit* m_sites = nullptr;
    QLabel* m_offeredNote = nullptr;
    QTableWidget* m_offered = nullptr;
    QPushButton* m_ok = nullptr;
    std::vector<SiteCount> m_offer;
    bool m_readOnly = false;
};

} // namespace tw
