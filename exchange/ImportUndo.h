#pragma once
// Taking the latest import back in one step, as long as nothing else has changed the list since:
// the imported rows are then still exactly the last ones. Free of widgets.

#include <QObject>

class EntryListModel;

namespace tw::exchange {

class ImportUndo : public QObject {
    Q_OBJECT
public:
    // Watches model; any change to it other than the import itself ends the chance to undo.
    explicit ImportUndo(EntryListModel& model, QObject* parent = nullptr);

    // The import appended rowCount rows from firstRow on (0 rows: nothing to undo).
    void imported(int firstRow, int rowCount);
    bool canUndo() const { return m_count > 0; }
    // Removes the imported rows; returns how many (0 when there is nothing to undo).
    int undo();
    void forget();

private:
    EntryListModel& m_model;
    int m_first = 0;
    int m_count = 0;
    bool m_undoing = false;
};

} // namespace tw::exchange
