#pragma once
// The main list: report view of the entry store with full-row multi-selection and an optional
// background image. The selection shows only while the list has the focus. An engine cell whose
// result moved in the latest run shows an up or down mark with the places beside its text.

#include <QImage>
#include <QTreeView>

class CEntryListView : public QTreeView {
    Q_OBJECT
public:
    explicit CEntryListView(QWidget* parent = nullptr);

    // Painted behind the rows, its point at (50 %, 38 %) on the same point of the view.
    void setBackgroundImage(const QImage& image);
    const QImage& backgroundImage() const { return m_image; }

signals:
    // Any double-click in the list, on a row or on empty space.
    void listDoubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QImage m_image;
};
