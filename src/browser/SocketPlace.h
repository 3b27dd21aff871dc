#pragma once
// Where the running program listens: a user-private folder, $XDG_RUNTIME_DIR/quorvanta (or
// /tmp/quorvanta-<uid> without a runtime folder), mode 0700, holding
// "quorvanta-<uid>-<hash>.sock". <hash> is the FNV-1a 64-bit hash, as 16 lower-case hex digits, of
// the cleaned data folder, so one program listens per user and data folder. The hand-off library
// finds the socket by the same rule.

#include <QString>

class SocketPlace {
public:
    // "quorvanta-<uid>-<hash>": the socket's name without ".sock", also the instance lock's name.
    static QString BaseName();
    static QString Folder();
    static QString Path();
    // Creates the folder with mode 0700, or takes an existing one that is a real folder owned by
    // this user (tightening its mode to 0700); false with the reason otherwise.
    static bool PrepareFolder(QString* error);
    static QString Hash(const QByteArray& bytes);
};
