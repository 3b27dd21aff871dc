#pragma once
// Where the running program listens: HandoffProtocol's socket rules as Qt texts, and the making of
// the socket's private folder.

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
};
