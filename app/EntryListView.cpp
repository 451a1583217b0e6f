#include "app/EntryListView.h"

#include "data/EntryListModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>

#include <cstdlib>

namespace {
// Paints a cell as usual, except that a change mark takes the cell's right end: a triangle, up
// and green or down and red, and the number of places. The text is elided before it.
class CChangeMarkDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int places = index.data(EntryListModel::ChangeMarkRole).toInt();
        if (places == 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        const QString text = opt.text;
        const QString number = QString::number(std::abs(places));
        const QFontMetrics metrics(opt.font);
        const int side = std::max(5, metrics.ascent() * 3 / 5);
        const int gap = 3;
        const int markWidth = side + gap + metrics.horizontalAdvance(number) + 2 * gap;

        // Background, selection and focus over the whole cell, the text in what the mark leaves.
        opt.text.clear();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        textRect.setRight(std::max(textRect.left(), opt.rect.right() - markWidth));
        const bool selected = opt.state & QStyle::State_Selected;
        const QPalette::ColorGroup group =
            opt.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(
            opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(textRect, int(opt.displayAlignment),
                          metrics.elidedText(text, Qt::ElideRight, textRect.width()));

        const bool up = places > 0;
        const QColor colour = up ? QColor(0, 140, 0) : QColor(200, 0, 0);
        const int x = opt.rect.right() - markWidth + gap;
        const int mid = opt.rect.center().y();
        QPainterPath triangle;
        if (up) {
            triangle.moveTo(x, mid + side / 2);
            triangle.lineTo(x + side, mid + side / 2);
            triangle.lineTo(x + side / 2.0, mid - side / 2);
        } else {
            triangle.moveTo(x, mid - side / 2);
            triangle.lineTo(x + side, mid - side / 2);
            triangle.lineTo(x + side / 2.0, mid + side / 2);
        }
        triangle.closeSubpath();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->fillPath(triangle, colour);
        painter->setPen(colour);
        painter->drawText(QRect(x + side + gap, opt.rect.top(), markWidth, opt.rect.height()),
                          Qt::AlignLeft | Qt::AlignVCenter, number);
        painter->restore();
    }
};
} // namespace

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
    setItemDelegate(new CChangeMarkDelegate(this));
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
