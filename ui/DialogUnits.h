#pragma once
// Dialog layouts are written in dialog units, as the templates give them, and converted to
// pixels from the dialog font the way Windows does: horizontal base = average character width,
// 1 unit = base/4; vertical base = character height, 1 unit = base/8.

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    // Units of the widget's own font.
    explicit DialogUnits(const QWidget* widget);

    int x(int du) const;
    int y(int du) const;
    QRect rect(int x, int y, int w, int h) const;
    QSize size(int w, int h) const;

    // Places child at the template position (x, y, w, h).
    void place(QWidget* child, int x, int y, int w, int h) const;

    int baseX() const { return m_baseX; }
    int baseY() const { return m_baseY; }

private:
    int m_baseX = 6;
    int m_baseY = 13;
};
