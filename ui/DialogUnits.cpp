#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QWidget>

namespace {
int mulDiv(int a, int b, int c) {
    // Rounded like the Windows MulDiv.
    const long long p = static_cast<long long>(a) * b;
    return static_cast<int>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}
} // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    static const QString sample =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseX = (fm.horizontalAdvance(sample) / 26 + 1) / 2;
    m_baseY = fm.height();
    if (m_baseX < 1)
        m_baseX = 1;
    if (m_baseY < 1)
        m_baseY = 1;
}

DialogUnits::DialogUnits(const QWidget* widget) : DialogUnits(widget->font()) {}

int DialogUnits::x(int du) const {
    return mulDiv(du, m_baseX, 4);
}
int DialogUnits::y(int du) const {
    return mulDiv(du, m_baseY, 8);
}

QRect DialogUnits::rect(int x0, int y0, int w, int h) const {
    return QRect(x(x0), y(y0), x(w), y(h));
}

QSize DialogUnits::size(int w, int h) const {
    return QSize(x(w), y(h));
}

void DialogUnits::place(QWidget* child, int x0, int y0, int w, int h) const {
    child->setGeometry(rect(x0, y0, w, h));
}
