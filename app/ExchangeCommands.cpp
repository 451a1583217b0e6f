// Import, Undo import and Export of the main window; the substance is in exchange/.
#include "app/MainDlg.h"
#include "exchange/WindowExport.h"
#include "exchange/WindowImport.h"
#include "rank/RankSources.h"
#include "reports/ReportCommand.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QMenu>

void CMainDlg::OnImport() {
    ImportEntries();
}

void CMainDlg::OnUndoImport() {
    if (CanUndoImport())
        m_importUndo.undo();
}

void CMainDlg::OnExport() {
    ExportEntries();
}

void CMainDlg::OnReport() {
    // A run writes the list and its history while it goes on.
    if (m_bRanking)
        return;
    const tw::sources::SourceSettings sources = rank::ReadRunSources(false);
    datafile::EntryDefaults defaults;
    defaults.country = sources.config.country;
    defaults.language = sources.config.language;
    defaults.device = sources.config.device;
    defaults.location = sources.config.location;
    tw::reports::runWindowReport(this, m_model, dataFilePath(), defaults, m_strStartDir);
}

bool CMainDlg::CanUndoImport() const {
    return !m_bRanking && m_importUndo.canUndo();
}

void CMainDlg::AddExchangeActions(QMenu& menu) {
    QAction* import = menu.addAction(QStringLiteral("&Import..."), this, &CMainDlg::OnImport);
    import->setEnabled(!m_bRanking && !m_bReadOnly);
    QAction* undo = menu.addAction(QStringLiteral("&Undo import"), this, &CMainDlg::OnUndoImport);
    undo->setEnabled(CanUndoImport());
    menu.addAction(QStringLiteral("E&xport..."), this, &CMainDlg::OnExport);
    menu.addAction(QStringLiteral("&Report..."), this, &CMainDlg::OnReport)
        ->setEnabled(!m_bRanking);
}

void CMainDlg::ImportEntries() {
    // Rows added under a run's feet would shift the rows it writes into.
    if (m_bRanking)
        return;
    if (m_bReadOnly) {
        tw::messageBox(this, QStringLiteral("The list is read-only: entries imported now could "
                                            "not be saved. Close the other Tallowick! window or "
                                            "program first."));
        return;
    }
    const tw::exchange::WindowImport outcome =
        tw::exchange::runWindowImport(this, m_model, m_strStartDir);
    if (outcome.read)
        m_importUndo.imported(outcome.firstRow, outcome.rowCount);
}

void CMainDlg::ExportEntries() {
    tw::exchange::runWindowExport(this, m_model, m_strStartDir);
}
