#pragma once
// Links dropped anywhere on a window: the window takes drops, and drags over any widget inside it
// (also one that would take the drop itself, as the player's web view does) are answered here.
// A drop that brings a link hands it on, as the floating window's drop area does.

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

class WindowDrops : public QObject {
    Q_OBJECT
public:
    WindowDrops(QWidget* window, std::function<void(const QString& link)> dropped);
    ~WindowDrops() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window;
    std::function<void(const QString&)> dropped;
};
