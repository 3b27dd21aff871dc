#pragma once
// A list whose rows are chosen by a click: moving to a row with the keyboard (arrows, page keys,
// Home, End, a typed letter) chooses it as well, once the key has moved the current row to a
// row that is then the only one selected. Rows the program selects itself choose nothing.

#include <QObject>
#include <functional>

class QTreeWidget;
class QTreeWidgetItem;

class KeyboardChoice : public QObject {
    Q_OBJECT
public:
    using Chosen = std::function<void(QTreeWidgetItem*)>;
    // chosen is called as the list's click handler is; the follower lives as long as the list.
    static void Follow(QTreeWidget* list, Chosen chosen);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KeyboardChoice(QTreeWidget* list, Chosen chosen);
    QTreeWidget* list;
    Chosen chosen;
};
