#pragma once
// The finder's message: a small borderless window with one label that follows the pointer while
// the finder is dragged. It takes no input, so the window under the pointer is never this one.

#include <QWidget>

class QLabel;

class frmDragMessage : public QWidget {
    Q_OBJECT
public:
    explicit frmDragMessage(QWidget* parent = nullptr);
    void SetText(const QString& text);
    QLabel* Label1 = nullptr;
};
