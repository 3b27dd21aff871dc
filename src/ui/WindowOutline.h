#pragma once
// The finder's outline around a browser window: a frameless top-level window laid over the
// window's rectangle, shaped to a black frame 3 pixels wide, so nothing is drawn on the desktop
// and every click goes through to the windows below.

#include <QWidget>

class WindowOutline : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 3;
    explicit WindowOutline(QWidget* parent = nullptr);
    void Outline(const QRect& screenRect);

protected:
    void paintEvent(QPaintEvent* event) override;
};
