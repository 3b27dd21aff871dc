#pragma once
// The link in something dragged onto the program: its text, or else its first URL; of a text
// that brings a title on further lines, the first line.

#include <QString>

class QMimeData;

class DroppedLink {
public:
    // Whether the data can hold a link at all (text or URLs).
    static bool Offered(const QMimeData* data);
    // The link, trimmed; empty when there is none.
    static QString Text(const QMimeData* data);
};
