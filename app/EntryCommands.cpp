// Add, Edit and Remove of the main window.
#include "app/AddUrlDlg.h"
#include "app/MainDlg.h"
#include "ui/MessageBox.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

void CMainDlg::OnAddEntry() {
    if (m_bRanking)
        return;
    CAddUrlDlg dlg(this);
    if (dlg.exec() != QDialog::Accepted || dlg.m_strUrl.empty())
        return;
    const int row = m_model.appendEntry(dlg.m_strUrl, dlg.m_strKeywords);
    m_model.setOptions(row, dlg.m_options);
}

void CMainDlg::OnEditEntry() {
    if (m_bRanking)
        return;
    if (selectedRows().isEmpty()) {
        tw::messageBox(this, QStringLiteral("Please select an entry to edit."));
        return;
    }
    QItemSelectionModel* selection = listView()->selectionModel();
    for (int row = 0; row < m_model.rowCount(); ++row) {
        if (!selection->isRowSelected(row, QModelIndex()))
            continue;
        CAddUrlDlg dlg(this);
        dlg.m_strKeywords = m_model.cell(row, ColKeywords);
        dlg.m_strUrl = m_model.cell(row, ColUrl);
        dlg.m_options = m_model.options(row);
        if (dlg.exec() == QDialog::Accepted) {
            m_model.setCell(row, ColKeywords, dlg.m_strKeywords);
            m_model.setCell(row, ColUrl, dlg.m_strUrl);
            m_model.setOptions(row, dlg.m_options);
        }
    }
}

void CMainDlg::OnRemoveEntry() {
    if (m_bRanking)
        return;
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        tw::messageBox(this, QStringLiteral("Please select an entry to remove."));
        return;
    }
    int k = 0;
    for (int row : rows) {
        if (!m_model.removeEntry(row - k))
            tw::messageBox(this, QStringLiteral("Error deleting item from list."));
        else
            ++k;
    }
    if (m_model.rowCount() > 0) {
        listView()->selectionModel()->select(
            m_model.index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    m_model.renumber();
}
