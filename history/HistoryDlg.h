#pragma once
// The History window of one entry: a chart of its ranks over time (one line per engine column,
// rank 1 at the top, "not found" and "error" on marker rows below the lowest rank), the table of
// runs beneath it, per engine the best rank ever and the change since the previous run, and an
// Export button that writes the entry's history as CSV.

#include "history/HistoryModel.h"
#include "ui/ResizableDlg.h"

#include <QStringList>

#include <array>
#include <map>
#include <string>
#include <vector>

class QChart;
class QChartView;
class QCategoryAxis;
class QDateTimeAxis;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QTableView;
class QTableWidget;
class QXYSeries;

namespace tw {

class HistoryDlg : public CResizableDlg {
    Q_OBJECT
public:
    enum {
        IDD = 141,
        IDC_CHART = 1201,
        IDC_RUNS = 1202,
        IDC_SUMMARY = 1203,
        IDC_EXPORT = 1204,
        IDC_CLOSE = 2, // IDCANCEL: Esc and the button close the window
    };

    explicit HistoryDlg(QWidget* parent = nullptr);
    ~HistoryDlg() override;

    // The entry's history (newest run first, as loaded) and the four engine columns' labels;
    // with competitors (the history loaded with its kept results), a line and a column per
    // competitor and slot that kept result lists.
    void setHistory(EntryHistory history, const QStringList& slotLabels,
                    std::vector<std::string> competitors = {});

    HistoryTableModel* model() const { return m_model; }
    QChart* chart() const { return m_chart; }
    QChartView* chartView() const { return m_chartView; }
    QTableView* runsView() const { return m_runs; }
    QTableWidget* summaryTable() const { return m_summary; }
    QPushButton* exportButton() const { return m_export; }
    QLineSeries* slotSeries(int slot) const { return m_lines[std::size_t(slot)]; }
    QScatterSeries* notFoundSeries(int slot) const { return m_notFound[std::size_t(slot)]; }
    QScatterSeries* errorSeries(int slot) const { return m_errors[std::size_t(slot)]; }
    // The competitors' lines, in the order of HistoryChart::competitorLines; a click on one's
    // name in the legend hides it, another shows it again.
    const std::vector<QLineSeries*>& competitorSeries() const { return m_competitorLines; }
    void setLineShown(QLineSeries* line, bool shown);
    QCategoryAxis* rankAxis() const { return m_rankAxis; }
    QDateTimeAxis* timeAxis() const { return m_timeAxis; }
    // The tooltip of the series' point nearest to value (what hovering shows).
    QString pointTip(QXYSeries* series, const QPointF& value) const;

public slots:
    void onExport();

protected:
    void OnInitDialog() override;

private:
    void rebuildChart();
    void fillSummary();

    HistoryTableModel* m_model = nullptr;
    QStringList m_labels;
    QChart* m_chart = nullptr;
    QChartView* m_chartView = nullptr;
    QTableView* m_runs = nullptr;
    QTableWidget* m_summary = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_close = nullptr;
    std::array<QLineSeries*, kHistorySlots> m_lines{};
    std::array<QScatterSeries*, kHistorySlots> m_notFound{};
    std::array<QScatterSeries*, kHistorySlots> m_errors{};
    std::vector<QLineSeries*> m_competitorLines;
    bool m_summaryFollowsRuns = false;
    QCategoryAxis* m_rankAxis = nullptr;
    QDateTimeAxis* m_timeAxis = nullptr;
    std::map<const QXYSeries*, std::vector<HistoryPoint>> m_points;
};

} // namespace tw
