#pragma once
// Gives a new file its size on a worker thread, block by block, so that a file system that has
// to write every byte of a large file (no space reserved at once, no holes) keeps the window and
// the other downloads going meanwhile. Space is reserved where the file system can do it; where
// it cannot, the file is lengthened block by block. Progress and the end are told on the thread
// of the context object, which must outlive the layout; destroying the layout stops it and waits
// for the worker. Calls already posted still come: the owner tells them from a newer layout's.

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

class FileLayout {
public:
    // The block the file grows by: progress is told in these steps.
    static constexpr int64_t kBlock = 1023001;
    // How often at most the worker tells of its progress.
    static constexpr int kProgressMs = 100;

    using Progress = std::function<void(int64_t done)>;
    using Finished = std::function<void(int error)>;  // 0, or the errno of the failure

    // Starts laying out the open file fd (of length 0) to size bytes.
    FileLayout(int fd, int64_t size, QObject* context, Progress progress, Finished finished);
    ~FileLayout();
    FileLayout(const FileLayout&) = delete;
    FileLayout& operator=(const FileLayout&) = delete;

    // Gives fd the bytes [from, to): reserved when *reserve (cleared for good when the file
    // system cannot reserve), else by lengthening the file. 0 or errno.
    static int Grow(int fd, int64_t from, int64_t to, bool* reserve);

private:
    void Run(int fd, int64_t size);

    QObject* context;  // outlives the layout
    Progress progress;
    Finished finished;
    std::atomic<bool> stop{false};
    std::thread worker;
};
