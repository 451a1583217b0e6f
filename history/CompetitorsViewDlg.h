#pragma once
// The Competitors view of a list: for the engine column chosen at the top, one row per entry
// with its rank and each competitor's in the latest run and the change since the run before;
// beneath, each site's visibility in the latest run and a chart of it over the runs (one line per
// target URL and per competitor).

#include "history/CompetitorsModel.h"
#include "ui/ResizableDlg.h"

#include <QStringList>

#include <map>
#include <string>
#include <vector>

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QLineSeries;
class QPushButton;
class QTableWidget;

namespace tw {

class CompetitorsViewDlg : public CResizableDlg {
    Q_OBJECT
public:
    enum {
        IDD = 153,
        IDC_SLOT_LABEL = 1321,
        IDC_SLOT = 1322,
        IDC_NOTE = 1323,
        IDC_TABLE = 1324,
        IDC_VISIBILITY = 1325,
        IDC_CHART = 1326,
        IDC_CLOSE = 2, // IDCANCEL: Esc and the button close the window
    };

    explicit CompetitorsViewDlg(QWidget* parent = nullptr);
    ~CompetitorsViewDlg() override;

    // The list's data and the four engine columns' labels; shows the first column with results.
    void setData(CompetitorsData data, const QStringList& slotLabels);
    // Shows the slot (an engine column with results).
    void showSlot(int slot);
    int shownSlot() const { return m_slot; }

    QComboBox* slotCombo() const { return m_slotCombo; }
    QLabel* note() const { return m_note; }
    QTableWidget* table() const { return m_table; }
    QTableWidget* visibilityTable() const { return m_visibility; }
    QChart* chart() const { return m_chart; }
    // The chart's line of a site; null when it has none.
    QLineSeries* visibilitySeries(const std::string& site) const;

protected:
    void OnInitDialog() override;

private:
    void fillTable(const CompetitorsSlotView& view);
    void fillVisibility(const CompetitorsSlotView& view);
    void rebuildChart(const CompetitorsSlotView& view);

    CompetitorsData m_data;
    QStringList m_labels;
    int m_slot = -1;
    QComboBox* m_slotCombo = nullptr;
    QLabel* m_note = nullptr;
    QTableWidget* m_table = nullptr;
    QTableWidget* m_visibility = nullptr;
    QChart* m_chart = nullptr;
    QChartView* m_chartView = nullptr;
    QPushButton* m_close = nullptr;
    std::map<std::string, QLineSeries*> m_series;
};

} // namespace tw
