#pragma once
// The lock that makes one instance per user and data folder certain: an exclusive flock on a
// file in $XDG_RUNTIME_DIR (else in the data folder), held from before any file is read until
// the process ends. Whoever holds it is the first instance.

#include <QString>

class InstanceLock {
public:
    enum Outcome { Taken, HeldElsewhere, Unavailable };

    // baseName names the lock file ("<baseName>.lock").
    explicit InstanceLock(const QString& baseName);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Tries once, without waiting. Unavailable: no folder or file could be opened for the lock.
    Outcome TryLock();
    QString FilePath() const { return path; }

private:
    QString path;
    int fd = -1;
};
