#include "exchange/ImportUndo.h"

#include "data/EntryListModel.h"

namespace tw::exchange {

ImportUndo::ImportUndo(EntryListModel& model, QObject* parent) : QObject(parent), m_model(model) {
    // Any of these after the import (an added, edited, removed or ranked row, a reload) may have
    // moved or changed the imported rows.
    const auto changed = [this] {
        if (!m_undoing)
            forget();
    };
    connect(&m_model, &EntryListModel::rowsInserted, this, changed);
    connect(&m_model, &EntryListModel::rowsRemoved, this, changed);
    connect(&m_model, &EntryListModel::rowsMoved, this, changed);
    connect(&m_model, &EntryListModel::dataChanged, this, changed);
    connect(&m_model, &EntryListModel::modelReset, this, changed);
    connect(&m_model, &EntryListModel::layoutChanged, this, changed);
}

void ImportUndo::imported(int firstRow, int rowCount) {
    const bool valid = rowCount > 0 && firstRow >= 0 && firstRow + rowCount == m_model.rowCount();
    m_first = valid ? firstRow : 0;
    m_count = valid ? rowCount : 0;
}

int ImportUndo::undo() {
    if (!canUndo() || m_first + m_count != m_model.rowCount()) {
        forget();
        return 0;
    }
    const int count = m_count;
    m_undoing = true;
    m_model.removeRows(m_first, count);
    m_undoing = false;
    forget();
    return count;
}

void ImportUndo::forget() {
    m_first = 0;
    m_count = 0;
}

} // namespace tw::exchange
