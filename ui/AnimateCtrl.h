#pragma once
// An animation control: plays the frames of an AVI clip in a loop, centred in the control,
// with the clip's background (the colour of the first frame's top-left pixel) see-through.

#include <QList>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

class CAnimateCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CAnimateCtrl(QWidget* parent = nullptr);

    // Opens the AVI resource id (or clip bytes) and, like an auto-play control, starts playing
    // it. False, and an empty control, when the clip cannot be read.
    bool Open(int resourceId);
    bool Open(const QByteArray& clip);
    // Plays from the first to the last frame, repeating without end, while the control is shown.
    void Play();
    void Stop();
    // Drops the clip; the control shows nothing.
    void Close();

    int frameCount() const { return static_cast<int>(m_frames.size()); }
    int currentFrame() const { return m_current; }
    int frameInterval() const { return m_timer.interval(); }
    bool isPlaying() const { return m_playing; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    QSize sizeHint() const override;

private:
    void nextFrame();
    void updateTimer();

    QList<QPixmap> m_frames;
    int m_current = 0;
    bool m_playing = false;
    QTimer m_timer;
};
