#pragma once
// The entry store: the rows of the main list. Cells are byte strings (shown as UTF-8); each row
// may own the EntryResults of its latest successful ranking.

#include "base/RankTypes.h"
#include "data/EntryOptions.h"

#include <QAbstractTableModel>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct EntryRow {
    std::array<std::string, kColumnCount> cells;
    std::unique_ptr<EntryResults> results;
    datafile::EntryOptions options; // kept in the options file, not in the data file
    // Places each engine cell's result moved in the latest run that wrote it, against the
    // entry's result before: > 0 up, < 0 down, 0 no mark. Shown beside the text, never saved.
    std::array<int, kEngineCount> changeMarks{};
};

// Shown after the cells: the entry's tags, and where it is ranked ("mobile, Austin").
enum ShownColumn : int { ColTags = kColumnCount, ColWhere = kColumnCount + 1, kShownColumnCount };

class EntryListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // An engine cell's change mark (EntryRow::changeMarks) as an int.
    enum : int { ChangeMarkRole = Qt::UserRole + 1 };

    explicit EntryListModel(QObject* parent = nullptr);
    ~EntryListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Removes rows and their results records.
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    // Out-of-range rows or columns read as empty and are ignored on write.
    std::string cell(int row, int col) const;
    const std::string& cellRef(int row, int col) const;
    // A new text in an engine cell drops its change mark: the mark told how the old one moved.
    void setCell(int row, int col, const std::string& text);

    // The change mark of the row's engine cell (0 when out of range).
    int changeMark(int row, int engine) const;
    void setChangeMark(int row, int engine, int places);

    // An out-of-range row reads as no options and is ignored on write.
    const datafile::EntryOptions& options(int row) const;
    void setOptions(int row, datafile::EntryOptions options);
    // Whether the row has the tag text, or holds text (ASCII case aside) in its URL, keywords,
    // tags, device or location.
    bool matchesFilter(int row, const QString& text) const;
    // Whether any entry has a device or a location (the list then shows where each is ranked).
    bool anyWhere() const;

    EntryResults* results(int row) const;
    // The row takes ownership; the record it held before is freed.
    void setResults(int row, std::unique_ptr<EntryResults> results);

    // Appends a row numbered after the last one; returns its index.
    // results: the engines' texts in engine order; those not given are "-".
    int appendEntry(const std::string& url, const std::string& keywords,
                    const std::vector<std::string>& results = {});
    // Appends rows in one step (fast for big imports), numbering them after the last one;
    // returns the index of the first.
    int appendEntries(std::vector<EntryRow> rows);
    bool removeEntry(int row);
    // Rewrites column 0 with each row's position: "1", "2", ...
    void renumber();

    // Replaces every row at once (fast for big lists).
    void resetEntries(std::vector<EntryRow> rows);
    void clear();
    const std::vector<EntryRow>& rows() const { return m_rows; }

    // The tooltip of an engine cell, asked for when one is shown; none by default. The list
    // asks only for the cell under the pointer, so a provider may read from disk.
    using ToolTipProvider = std::function<QString(int row, int col)>;
    void setToolTipProvider(ToolTipProvider provider) { m_toolTips = std::move(provider); }

    static QString columnCaption(int col);
    static int columnWidth(int col);

private:
    std::vector<EntryRow> m_rows;
    ToolTipProvider m_toolTips;
};
