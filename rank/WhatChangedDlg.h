#pragma once
// What changed in the run just ended: per column how many entries went up, down, stayed, are
// new, dropped out, came in or read "error", and the biggest moves each way.

#include "rank/RunChanges.h"

#include <QDialog>

class QTreeWidget;

class CWhatChangedDlg : public QDialog {
    Q_OBJECT
public:
    CWhatChangedDlg(const rank::RunChanges& changes, QWidget* parent = nullptr);

    QTreeWidget* Counts() const { return m_counts; }
    QTreeWidget* Moves() const { return m_moves; }

private:
    QTreeWidget* m_counts = nullptr;
    QTreeWidget* m_moves = nullptr;
};
