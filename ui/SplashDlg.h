#pragma once
// The splash window shown while the main window starts: the splash picture in a thin frame,
// centred on the screen, taken away after a moment or at once by a click.

#include <QDialog>

class QLabel;

class CSplashDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 192 };
    static constexpr int kShowMs = 1200;
    // Width of the window's own frame around the picture, in pixels.
    static constexpr int kFrameWidth = 3;

    explicit CSplashDlg(QWidget* owner = nullptr);

    // Shows the window centred on the screen and hides it after hideAfterMs.
    void ShowSplash(int hideAfterMs = kShowMs);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_picture = nullptr;
};
