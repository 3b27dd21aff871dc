#pragma once
// Keyboard filters of the batch range boxes. Typed characters are checked before they reach the
// box; keys that type nothing (arrows, Delete, Home, ...) pass unchanged.

#include <QObject>

class QLineEdit;

class BatchKeyFilter : public QObject {
    Q_OBJECT
public:
    enum Kind {
        Digits,     // only 0 to 9 pass; every other character, backspace too, is discarded
        OneDigit,   // a digit replaces the whole content
        OneLetter,  // a letter A-Z or a-z replaces the whole content
    };

    // Installs a filter of the given kind on box (the filter is a child of box). Pasting, cutting
    // and dropping are turned off for the box too, so it holds only what the filter lets in.
    static BatchKeyFilter* Install(QLineEdit* box, Kind kind);

    // What a typed text does to a box of the given kind: false when the key is discarded;
    // replaceWith is set when the character replaces the whole content.
    static bool Accepts(Kind kind, const QString& typed, QString* replaceWith);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    BatchKeyFilter(QLineEdit* box, Kind kind);
    QLineEdit* box;
    Kind kind;
};
