#pragma once
// Ranking Details: the sites each engine ranked above an entry's target, one engine per
// column, with buttons that open the selected site in the user's browser.

#include "base/RankTypes.h"

#include <QDialog>

#include <array>
#include <string>
#include <vector>

class QLabel;
class QTreeWidget;

class CRankDetailsDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 133 };
    enum ControlId {
        IDC_LIST = 1001,
        IDC_HEADING = 1014,
        IDC_VISIT_FIRST = 1017, // one Visit button per engine, in engine order
    };

    explicit CRankDetailsDlg(QWidget* parent = nullptr);

    // Takes copies of the lists: a ranking run may replace the row's record while the dialog
    // is open.
    void SetEngineSites(const EntryResults& results);

    int DoModal() { return exec(); }

    std::string m_strTargetUrl;
    std::string m_strSearchPhrase;

    QTreeWidget* sitesList() const { return m_listSites; }
    QLabel* headingLabel() const { return m_heading; }

public slots:
    void OnVisit(int engine);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();

    std::array<std::vector<std::string>, kEngineCount> m_engineSites;
    QTreeWidget* m_listSites = nullptr;
    QLabel* m_heading = nullptr;
    QString m_strHeading;
    bool m_bInitialized = false;
};
