#include "newjob/BatchKeyFilter.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace {

bool IsAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool IsAsciiLetter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

}  // namespace

BatchKeyFilter::BatchKeyFilter(QLineEdit* box, Kind kind) : QObject(box), box(box), kind(kind) {}

BatchKeyFilter* BatchKeyFilter::Install(QLineEdit* box, Kind kind) {
    auto* filter = new BatchKeyFilter(box, kind);
    box->installEventFilter(filter);
    box->setContextMenuPolicy(Qt::NoContextMenu);
    box->setAcceptDrops(false);
    box->setDragEnabled(false);
    return filter;
}

bool BatchKeyFilter::Accepts(Kind kind, const QString& typed, QString* replaceWith) {
    if (replaceWith) replaceWith->clear();
    if (typed.size() != 1) return false;
    const QChar c = typed.at(0);
    switch (kind) {
        case Digits:
            return IsAsciiDigit(c);
        case OneDigit:
            if (!IsAsciiDigit(c)) return false;
            break;
        case OneLetter:
            if (!IsAsciiLetter(c)) return false;
            break;
    }
    if (replaceWith) *replaceWith = typed;
    return true;
}

bool BatchKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (watched != box || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Cut) ||
        key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo))
        return true;
    if (key->key() == Qt::Key_Backspace) return true;
    // Keys that type nothing (cursor keys, Delete, Enter, Escape, Tab) are not characters.
    if (key->text().isEmpty() || !key->text().at(0).isPrint()) return false;
    QString replaceWith;
    if (!Accepts(kind, key->text(), &replaceWith)) return true;
    if (!replaceWith.isEmpty()) {
        box->setText(replaceWith);
        return true;
    }
    return false;
}
