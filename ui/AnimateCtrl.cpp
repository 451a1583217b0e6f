#include "ui/AnimateCtrl.h"

#include "ui/AviReader.h"
#include "ui/Resources.h"

#include <QPainter>

CAnimateCtrl::CAnimateCtrl(QWidget* parent) : QWidget(parent) {
    connect(&m_timer, &QTimer::timeout, this, &CAnimateCtrl::nextFrame);
}

bool CAnimateCtrl::Open(int resourceId) {
    return Open(tw::resourceData(resourceId));
}

bool CAnimateCtrl::Open(const QByteArray& data) {
    Close();
    const tw::AviClip clip = tw::readAviClip(data);
    if (!clip.isValid())
        return false;
    const QImage& first = clip.frames.first();
    const int key = first.pixelIndex(0, 0);
    for (QImage frame : clip.frames) {
        QList<QRgb> table = frame.colorTable();
        if (key >= 0 && key < table.size())
            table[key] = qRgba(0, 0, 0, 0);
        frame.setColorTable(table);
        m_frames.append(QPixmap::fromImage(frame.convertToFormat(QImage::Format_ARGB32)));
    }
    m_timer.setInterval(clip.frameMs);
    Play();
    return true;
}

void CAnimateCtrl::Play() {
    if (m_frames.isEmpty())
        return;
    m_playing = true;
    m_current = 0;
    updateTimer();
    update();
}

void CAnimateCtrl::Stop() {
    m_playing = false;
    updateTimer();
}

void CAnimateCtrl::Close() {
    Stop();
    m_frames.clear();
    m_current = 0;
    update();
}

void CAnimateCtrl::nextFrame() {
    if (m_frames.isEmpty())
        return;
    m_current = (m_current + 1) % static_cast<int>(m_frames.size());
    update();
}

void CAnimateCtrl::updateTimer() {
    // A hidden control does not spend timer ticks; it resumes where it was when shown.
    if (m_playing && isVisible() && m_frames.size() > 1)
        m_timer.start();
    else
        m_timer.stop();
}

void CAnimateCtrl::paintEvent(QPaintEvent*) {
    if (m_frames.isEmpty())
        return;
    const QPixmap& frame = m_frames.at(m_current);
    QPainter painter(this);
    painter.drawPixmap((width() - frame.width()) / 2, (height() - frame.height()) / 2, frame);
}

void CAnimateCtrl::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateTimer();
}

void CAnimateCtrl::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    updateTimer();
}

QSize CAnimateCtrl::sizeHint() const {
    return m_frames.isEmpty() ? QSize(40, 40) : m_frames.first().size();
}
