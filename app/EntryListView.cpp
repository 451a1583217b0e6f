#include "app/EntryListView.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

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
