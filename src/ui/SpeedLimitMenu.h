#pragma once
// The status bar's rate panel offers the speed limit: a click (or the context menu) on it shows a
// few limits to choose from, the one in force checked. A choice is taken at once, kept in the
// settings file ([Other] SpeedLimit) and handed to the owner.

#include <QObject>
#include <functional>

class QLabel;
class QMenu;

class SpeedLimitMenu : public QObject {
    Q_OBJECT
public:
    // apply gets the new limit in KB/s (0: none) after Settings and the file have it.
    SpeedLimitMenu(QLabel* panel, std::function<void(int)> apply);
    QMenu* Menu() const { return menu; }
    // The choices in KB/s, 0 first.
    static const QList<int>& Choices();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Choose(int kilobytesPerSecond);
    void Refresh();

    QLabel* panel;
    QMenu* menu;
    std::function<void(int)> apply;
};
