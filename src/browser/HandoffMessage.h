#pragma once
// One browser hand-off message: a command word ("down", "search" or "all", in any letter case)
// at its start and three keyed fields ("my_kvd_Url:=", "my_kvd_Info:=", "my_kvd_Ref:="), each
// running up to the next "||**KVDRMB**||". Keys are found in any letter case and order; a field
// whose key or closing separator is missing stays empty.

#include <QByteArray>
#include <QString>
#include <cstdint>

struct HandoffMessage {
    // The new-job dialog's mode the command word selects: 1 "down", 2 "search", 4 "all"; 0 for
    // no known word.
    int16_t Mode = 0;
    QString Url;
    QString Info;
    QString Ref;

    static HandoffMessage Parse(const QString& text);
    // Why text is no hand-off the program can act on (no known command word, or no address);
    // empty when it is one.
    static QByteArray Problem(const QString& text);
    // The text between key and the first separator after it (case-insensitive searches from the
    // start of text); empty when either is missing.
    static QString Field(const QString& text, const QString& key);
};
