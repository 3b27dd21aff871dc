#pragma once
// The hand-offs the program has taken and whose dialog has not been answered yet, kept in a small
// file of the data folder so that a crash loses none of them: a message is written and synced
// before the socket answers "taken", and leaves when its dialog is answered (OK or Cancel).
//
// File: the line "QV-QUEUE 1", then per message the line "<id> <byte count>" followed by the
// message's bytes and a line feed. Every change rewrites the file aside, syncs it and renames it
// over the old one (AtomicFile), so a reader finds the old queue or the new one, whole.

#include <QByteArray>
#include <QList>
#include <QString>

class HandoffQueue {
public:
    // More messages than this waiting means something is wrong; the next one is refused.
    static constexpr int kMaxWaiting = 100;

    struct Entry {
        qint64 id = 0;
        QByteArray message;
    };

    // Reads the queue at path (none yet: empty). A file that cannot be read whole is kept aside
    // as path + ".bad", the queue starts empty, and false is returned with the reason.
    bool Open(const QString& path, QString* error = nullptr);
    // Adds message and syncs it to disk; its id (above 0), or 0 with the reason when the queue is
    // full or the file cannot be written (nothing is added then).
    qint64 Add(const QByteArray& message, QString* reason = nullptr);
    // Takes the message with that id away; false with the reason when the file cannot be written
    // (the message stays, and is shown again after the next start). An unknown id does nothing.
    bool Remove(qint64 id, QString* error = nullptr);
    const QList<Entry>& Entries() const { return entries; }
    QString Path() const { return path; }

    static QByteArray Encode(const QList<Entry>& entries);
    // False when bytes are not a whole queue file.
    static bool Decode(const QByteArray& bytes, QList<Entry>* entries);

private:
    bool Save(const QList<Entry>& next, QString* error);

    QString path;
    QList<Entry> entries;
    qint64 nextId = 1;
};
