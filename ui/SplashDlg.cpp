#include "ui/SplashDlg.h"

#include "ui/DialogUnits.h"
#include "ui/Resources.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <qdrawutil.h>

CSplashDlg::CSplashDlg(QWidget* owner)
    : QDialog(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setWindowTitle(QStringLiteral("Tallowick!"));
    m_picture = new QLabel(this);
    // Clicks on the picture reach the window.
    m_picture->setAttribute(Qt::WA_TransparentForMouseEvents);
    const QPixmap pixmap = tw::resourceBitmap(tw::kSplashBitmap);
    // The template is the picture's size; without the picture the window keeps the template's.
    const QSize size = pixmap.isNull() ? DialogUnits(this).size(233, 135) : pixmap.size();
    m_picture->setPixmap(pixmap);
    // The picture fills the inside of a thin raised frame drawn by the window itself, as the
    // window has no frame from the window manager.
    m_picture->setGeometry(kFrameWidth, kFrameWidth, size.width(), size.height());
    setFixedSize(size + QSize(2 * kFrameWidth, 2 * kFrameWidth));
}

void CSplashDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    // Outer edge light on the top and left, dark on the bottom and right, then a line of the
    // face colour between it and the picture.
    const QRect outer = rect();
    qDrawWinPanel(&painter, outer, palette(), false);
    painter.setPen(palette().color(QPalette::Button));
    painter.drawRect(outer.adjusted(2, 2, -3, -3));
}

void CSplashDlg::ShowSplash(int hideAfterMs) {
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    show();
    raise();
    // The timer runs on the window's own thread; it finds the window already hidden after a click.
    QTimer::singleShot(hideAfterMs, this, &QWidget::hide);
}

void CSplashDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        reject();
        return;
    }
    QDialog::mousePressEvent(event);
}
