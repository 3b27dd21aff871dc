#include "engine/FileLayout.h"

#include <fcntl.h>
#include <unistd.h>

#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <chrono>

FileLayout::FileLayout(int fd, int64_t size, QObject* owner, Progress onProgress,
                       Finished onFinished)
    : context(owner), progress(std::move(onProgress)), finished(std::move(onFinished)) {
    worker = std::thread([this, fd, size] { Run(fd, size); });
}

FileLayout::~FileLayout() {
    stop = true;
    if (worker.joinable()) worker.join();
}

int FileLayout::Grow(int fd, int64_t from, int64_t to, bool* reserve) {
    if (*reserve) {
        int rc;
        do rc = ::fallocate(fd, 0, from, to - from);
        while (rc != 0 && errno == EINTR);
        if (rc == 0) return 0;
        if (errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL) return errno;
        *reserve = false;
    }
    int rc;
    do rc = ::ftruncate(fd, to);
    while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

void FileLayout::Run(int fd, int64_t size) {
    using Clock = std::chrono::steady_clock;
    bool reserve = true;
    int error = 0;
    auto told = Clock::now();
    for (int64_t done = 0; done < size && error == 0;) {
        if (stop) return;  // nothing more is told: the owner has given the file up
        const int64_t next = std::min(size, done + kBlock);
        error = Grow(fd, done, next, &reserve);
        if (error != 0) break;
        done = next;
        if (done < size && Clock::now() - told >= std::chrono::milliseconds(kProgressMs)) {
            told = Clock::now();
            // Posted to the owner's thread, with copies of what to call: the owner may have
            // given this layout up before it runs and must tell its calls from a newer one's.
            QMetaObject::invokeMethod(
                context, [tell = progress, done] { tell(done); }, Qt::QueuedConnection);
        }
    }
    if (stop) return;
    QMetaObject::invokeMethod(
        context, [tell = finished, error] { tell(error); }, Qt::QueuedConnection);
}
