#include "rank/WhatChangedDlg.h"

#include "base/Engines.h"
#include "base/ShownText.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {
QTreeWidget* Table(const QStringList& headers, QWidget* parent) {
    auto* table = new QTreeWidget(parent);
    table->setRootIsDecorated(false);
    table->setUniformRowHeights(true);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->setHeaderLabels(headers);
    table->header()->setSectionsMovable(false);
    return table;
}

QString Shown(const std::string& text) {
    return tw::shownText(text);
}
} // namespace

CWhatChangedDlg::CWhatChangedDlg(const rank::RunChanges& changes, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("What changed"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Each result of this run against the entry's previous result in the rank "
                       "history:"),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_counts = Table({QStringLiteral("Column"), QStringLiteral("Up"), QStringLiteral("Down"),
                      QStringLiteral("Same"), QStringLiteral("New"), QStringLiteral("Dropped out"),
                      QStringLiteral("Came in"), QStringLiteral("Error")},
                     this);
    m_moves = Table({QStringLiteral("Column"), QStringLiteral("Move"), QStringLiteral("URL"),
                     QStringLiteral("Keywords"), QStringLiteral("Was"), QStringLiteral("Now")},
                    this);
    for (int e = 0; e < kEngineCount; ++e) {
        const auto& slot = changes.bySlot[e];
        if (!slot)
            continue;
        const QString column = QString::fromStdString(engines::SlotLabel(SearchEngine(e)));
        const rank::ChangeCounts& c = slot->counts;
        auto* row = new QTreeWidgetItem(m_counts);
        row->setText(0, column);
        const int counts[] = {c.up, c.down, c.same, c.added, c.dropped, c.entered, c.error};
        for (int i = 0; i < 7; ++i) {
            row->setText(i + 1, QString::number(counts[i]));
            row->setTextAlignment(i + 1, Qt::AlignRight | Qt::AlignVCenter);
        }
        for (const auto* moves : {&slot->biggestUp, &slot->biggestDown}) {
            for (const rank::ResultChange& move : *moves) {
                auto* item = new QTreeWidgetItem(m_moves);
                item->setText(0, column);
                item->setText(1, move.word);
                item->setText(2, Shown(move.url));
                item->setText(3, Shown(move.keywords));
                item->setText(4, Shown(move.oldText));
                item->setText(5, Shown(move.newText));
            }
        }
    }
    if (m_counts->topLevelItemCount() == 0) {
        intro->setText(QStringLiteral("This run wrote no results."));
        m_counts->hide();
    }
    for (QTreeWidget* table : {m_counts, m_moves}) {
        for (int i = 0; i < table->columnCount(); ++i)
            table->resizeColumnToContents(i);
    }
    // At most one line per column: the counts take their own height, the moves the rest.
    m_counts->header()->setStretchLastSection(false);
    m_counts->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int lines = std::max(1, m_counts->topLevelItemCount());
    m_counts->setFixedHeight(m_counts->header()->sizeHint().height() +
                             lines * m_counts->sizeHintForRow(0) + 2 * m_counts->frameWidth() + 2);
    layout->addWidget(m_counts);
    auto* movesCaption =
        new QLabel(QStringLiteral("The biggest moves up and down (at most %1 each way per column):")
                       .arg(rank::kBiggestMoves),
                   this);
    layout->addWidget(movesCaption);
    layout->addWidget(m_moves, 1);
    if (m_moves->topLevelItemCount() == 0) {
        movesCaption->setText(QStringLiteral("No entry moved up or down."));
        m_moves->hide();
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(640, 360);
}
