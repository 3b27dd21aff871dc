#pragma once
// One quorvanta-get per target: an exclusive flock on "<target>.qvlock", which holds the owner's
// process id. The kernel drops the lock when the process ends in any way (a SIGKILL too); the
// owner removes the file when it ends normally.

#include <sys/types.h>

#include <QString>

class TargetLock {
public:
    enum class Result { Locked, Busy, Failed };

    TargetLock() = default;
    ~TargetLock();
    TargetLock(const TargetLock&) = delete;
    TargetLock& operator=(const TargetLock&) = delete;

    // Takes the lock without waiting. Busy: another process holds it (OwnerPid() says which,
    // 0 when it cannot be read). Failed: the lock file cannot be made (Error() says why).
    Result Acquire(const QString& target);
    pid_t OwnerPid() const { return owner; }
    QString Error() const { return error; }
    QString Path() const { return path; }

private:
    QString path;
    QString error;
    int fd = -1;
    pid_t owner = 0;
};
