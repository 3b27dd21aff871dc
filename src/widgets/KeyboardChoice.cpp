#include "widgets/KeyboardChoice.h"

#include <QEvent>
#include <QTimer>
#include <QTreeWidget>

KeyboardChoice::KeyboardChoice(QTreeWidget* target, Chosen onChosen)
    : QObject(target), list(target), chosen(std::move(onChosen)) {
    list->installEventFilter(this);
}

void KeyboardChoice::Follow(QTreeWidget* list, Chosen chosen) {
    new KeyboardChoice(list, std::move(chosen));
}

bool KeyboardChoice::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list && event->type() == QEvent::KeyPress) {
        // Looked at once the list has handled the key.
        QTreeWidgetItem* before = list->currentItem();
        QTimer::singleShot(0, this, [this, before] {
            QTreeWidgetItem* now = list->currentItem();
            if (now == nullptr || now == before || !now->isSelected()) return;
            if (list->selectedItems().size() != 1) return;
            chosen(now);
        });
    }
    return QObject::eventFilter(watched, event);
}
