#include "browser/HandoffQueue.h"

#include <QFile>
#include <algorithm>

#include "store/AtomicFile.h"

namespace {
const QByteArray kFirstLine = "QV-QUEUE 1\n";
}

QByteArray HandoffQueue::Encode(const QList<Entry>& entries) {
    QByteArray out = kFirstLine;
    for (const Entry& e : entries)
        out += QByteArray::number(e.id) + ' ' + QByteArray::number(e.message.size()) + '\n' +
               e.message + '\n';
    return out;
}

bool HandoffQueue::Decode(const QByteArray& bytes, QList<Entry>* entries) {
    entries->clear();
    if (!bytes.startsWith(kFirstLine)) return false;
    qsizetype pos = kFirstLine.size();
    while (pos < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0) return false;
        const QList<QByteArray> words = bytes.mid(pos, end - pos).split(' ');
        bool idOk = false;
        bool sizeOk = false;
        Entry e;
        e.id = words.size() == 2 ? words[0].toLongLong(&idOk) : 0;
        const qsizetype size = words.size() == 2 ? words[1].toLongLong(&sizeOk) : -1;
        if (!idOk || !sizeOk || e.id <= 0 || size < 0 || end + 1 + size + 1 > bytes.size() ||
            bytes.at(end + 1 + size) != '\n')
            return false;
        e.message = bytes.mid(end + 1, size);
        entries->append(e);
        pos = end + 1 + size + 1;
    }
    return true;
}

bool HandoffQueue::Open(const QString& file, QString* error) {
    path = file;
    entries.clear();
    nextId = 1;
    QFile in(path);
    if (!in.exists()) return true;
    QList<Entry> read;
    const bool opened = in.open(QIODevice::ReadOnly);
    const QByteArray bytes = opened ? in.readAll() : QByteArray();
    in.close();
    if (!opened || !Decode(bytes, &read)) {
        const QString aside = path + QStringLiteral(".bad");
        QFile::remove(aside);
        const bool kept = QFile::rename(path, aside) && AtomicFile::MakePrivate(aside);
        if (error)
            *error = QStringLiteral("the hand-off queue %1 could not be read whole%2")
                         .arg(path, kept ? QStringLiteral("; it was kept as ") + aside : QString());
        return false;
    }
    entries = read;
    for (const Entry& e : entries) nextId = std::max(nextId, e.id + 1);
    return true;
}

bool HandoffQueue::Save(const QList<Entry>& next, QString* error) {
    if (!AtomicFile::Write(path, Encode(next), error)) return false;
    entries = next;
    return true;
}

qint64 HandoffQueue::Add(const QByteArray& message, QString* reason) {
    if (entries.size() >= kMaxWaiting) {
        if (reason)
            *reason = QStringLiteral(
                          "the program already holds %1 hand-offs whose dialog is "
                          "not answered yet")
                          .arg(kMaxWaiting);
        return 0;
    }
    QList<Entry> next = entries;
    next.append({nextId, message});
    QString why;
    if (!Save(next, &why)) {
        if (reason) *reason = QStringLiteral("the program cannot keep the message: ") + why;
        return 0;
    }
    return nextId++;
}

bool HandoffQueue::Remove(qint64 id, QString* error) {
    QList<Entry> next = entries;
    next.removeIf([id](const Entry& e) { return e.id == id; });
    if (next.size() == entries.size()) return true;
    return Save(next, error);
}
