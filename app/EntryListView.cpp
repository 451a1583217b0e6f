#include "app/EntryListView.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionViewItem>

CEntryListView::CEntryListView(QWidget* parent) : QTreeView(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(false);
    setTextElideMode(Qt::ElideRight);
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setFocusPolicy(Qt::StrongFocus);
}

void CEntryListView::setBackgroundImage(const QImage& image) {
    m_image = image;
    viewport()->update();
}

void CEntryListView::paintEvent(QPaintEvent* event) {
    if (!m_image.isNull()) {
        QPainter painter(viewport());
        const QSize view = viewport()->size();
        const int x = (view.width() - m_image.width()) * 50 / 100;
        const int y = (view.height() - m_image.height()) * 38 / 100;
        painter.drawImage(x, y, m_image);
    }
    QTreeView::paintEvent(event);
}

void CEntryListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit listDoubleClicked();
}

void CEntryListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    if (hasFocus()) {
        QTreeView::drawRow(painter, option, index);
        return;
    }
    // Without the focus a selected row looks like any other: no highlight over the background
    // image, the usual text colour.
    QStyleOptionViewItem plain = option;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        plain.palette.setBrush(group, QPalette::Highlight, Qt::transparent);
        plain.palette.setBrush(group, QPalette::HighlightedText,
                               option.palette.brush(group, QPalette::Text));
    }
    QTreeView::drawRow(painter, plain, index);
}

void CEntryListView::focusInEvent(QFocusEvent* event) {
    QTreeView::focusInEvent(event);
    viewport()->update();
}

void CEntryListView::focusOutEvent(QFocusEvent* event) {
    QTreeView::focusOutEvent(event);
    viewport()->update();
}
