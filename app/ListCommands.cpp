// The lists of the main window: opening another list, the recent lists, the filter and the
// list's schedule.
#include "app/EntryListView.h"
#include "app/MainDlg.h"
#include "base/Engines.h"
#include "data/DataFile.h"
#include "data/DataFileSession.h"
#include "rank/RankSources.h"
#include "schedule/ScheduleDlg.h"
#include "settings/RecentLists.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

void CMainDlg::AddListActions(QMenu& menu) {
    QAction* open = menu.addAction(QStringLiteral("&Open list..."), this, &CMainDlg::OnOpenList);
    open->setEnabled(!m_bRanking);
    const QStringList recent = tw::ReadRecentLists();
    int n = 0;
    for (const QString& path : recent) {
        ++n;
        const QString text =
            QStringLiteral("&%1 %2  (%3)")
                .arg(n)
                .arg(QFileInfo(path).completeBaseName(), QDir::toNativeSeparators(path));
        QAction* action = menu.addAction(text, this, [this, path] { OpenList(path); });
        action->setEnabled(!m_bRanking);
        action->setCheckable(true);
        action->setChecked(QDir::cleanPath(path) == QDir::cleanPath(dataFilePath()));
    }
}

void CMainDlg::OnSchedule() {
    // The scheduled run is the window's run: its engines, their sources, depth, entries at once.
    tw::schedule::RunOptions run;
    run.depth = m_settings.m_MaxPages;
    run.threads = m_settings.m_MaxThreads;
    const tw::sources::SourceSettings sources = rank::ReadRunSources(false);
    for (int e = 0; e < kEngineCount; ++e) {
        if (!m_settings.EngineEnabled(SearchEngine(e)))
            continue;
        const QString key = QLatin1String(engines::All()[e].key);
        run.engines << key;
        run.sources.emplace_back(key, tw::sources::sourceText(sources.columns[e]));
    }
    tw::schedule::ShowScheduleDialog(this, dataFilePath(), tw::schedule::runArguments(run));
}

void CMainDlg::OnLists() {
    QMenu menu(this);
    AddListActions(menu);
    QPushButton* lists = button(IDC_LISTS);
    menu.exec(lists->mapToGlobal(QPoint(0, lists->height())));
}

void CMainDlg::OnOpenList() {
    if (m_bRanking)
        return;
    const QString path = tw::openFileName(this, QStringLiteral("Open List"),
                                          QFileInfo(dataFilePath()).absolutePath(),
                                          QStringLiteral("Tallowick lists (*.dat);;All files (*)"));
    if (!path.isEmpty())
        OpenList(path);
}

bool CMainDlg::OpenList(const QString& path) {
    // The run writes into the rows of the list that is open.
    if (m_bRanking)
        return false;
    const QString target = QFileInfo(path).absoluteFilePath();
    if (QDir::cleanPath(target) == QDir::cleanPath(dataFilePath()))
        return true;
    const QFileInfo info(target);
    if (info.exists() && !info.isFile()) {
        tw::messageBox(
            this,
            QStringLiteral("\"%1\" is not a list file.").arg(QDir::toNativeSeparators(target)),
            QMessageBox::Ok, QMessageBox::Warning);
        return false;
    }
    // The open list is saved first, as at close; No there keeps the other version.
    if (!SaveEntriesOnClose(true))
        return false;
    // The list left behind is one to come back to.
    tw::RememberRecentList(dataFilePath());
    if (m_dataFile)
        m_dataFile->Unlock();
    m_dataFile.reset();
    m_bReadOnly = false;
    m_bLoadFailed = false;
    m_strLoadError.clear();
    m_importUndo.forget();
    m_strDataFile = target;
    m_filter->clear();
    LoadEntries();
    ShowOpenList();
    tw::RememberRecentList(dataFilePath());
    setWindowTitle(windowCaption());
    return true;
}

void CMainDlg::ShowOpenList() {
    m_historyTips.setDataFile(dataFilePath());
    // A list's background image lives beside it.
    const QImage image(QFileInfo(dataFilePath()).dir().filePath(QStringLiteral("bkimage.bmp")));
    m_list->setBackgroundImage(image);
    // Entries imported into a list that is never saved would be lost without a word.
    button(IDC_IMPORT)->setEnabled(!m_bReadOnly && !m_bRanking);
    ApplyFilter();
}

void CMainDlg::SetFilter(const QString& text) {
    m_filter->setText(text);
}

QList<int> CMainDlg::shownRows() const {
    QList<int> rows;
    for (int row = 0; row < m_model.rowCount(); ++row) {
        if (!m_list->isRowHidden(row, QModelIndex()))
            rows.append(row);
    }
    return rows;
}

void CMainDlg::ApplyFilter() {
    const QString text = m_filter->text().trimmed();
    const int count = m_model.rowCount();
    m_list->setColumnHidden(ColWhere, !m_model.anyWhere());
    // Nothing to show again: a long list is not walked for every row added.
    if (text.isEmpty() && !m_bFiltered) {
        m_filterNote->clear();
        return;
    }
    m_bFiltered = !text.isEmpty();
    int shown = 0;
    for (int row = 0; row < count; ++row) {
        const bool show = text.isEmpty() || m_model.matchesFilter(row, text);
        if (m_list->isRowHidden(row, QModelIndex()) == show)
            m_list->setRowHidden(row, QModelIndex(), !show);
        shown += show ? 1 : 0;
    }
    if (!text.isEmpty()) {
        // A hidden row stays out of Rank, Remove and Edit too.
        for (int row : selectedRows()) {
            if (m_list->isRowHidden(row, QModelIndex()))
                m_list->selectionModel()->select(m_model.index(row, 0),
                                                 QItemSelectionModel::Deselect |
                                                     QItemSelectionModel::Rows);
        }
    }
    m_filterNote->setText(text.isEmpty() ? QString()
                                         : QStringLiteral("%1 of %2 entries shown: Rank All ranks "
                                                          "the entries shown.")
                                               .arg(shown)
                                               .arg(count));
}
