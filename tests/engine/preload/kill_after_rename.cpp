// Preloaded into the downloader by a test, to reach the moments a random kill rarely hits. What it
// does is chosen by QV_PRELOAD_FAULT:
//  (unset)           the process kills itself right after it renames a working file ("...!qv") to
//                    its final name, between the rename and the record's removal;
//  "kill-at-create"  it kills itself right after it creates a working file, so the record that
//                    names the file must be on disk already;
//  "unsynced-rename" a rename onto a job record (".qvjob") fails with EIO when the file renamed
//                    was written since it was last synced.
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

template <typename F>
F Real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool Mode(const char* mode) {
    const char* set = std::getenv("QV_PRELOAD_FAULT");
    return mode ? set && std::strcmp(set, mode) == 0 : !set || !*set;
}

bool EndsWith(const char* s, const char* tail) {
    const size_t n = std::strlen(s);
    const size_t m = std::strlen(tail);
    return n >= m && std::strcmp(s + n - m, tail) == 0;
}

// Descriptors written since their last sync, and the files closed that way.
bool dirty[4096];
char unsynced[16][PATH_MAX];
int unsyncedNext = 0;

void Written(int fd) {
    if (fd >= 0 && fd < 4096) dirty[fd] = true;
}

void Created(const char* path, int flags, int fd) {
    if (fd >= 0 && (flags & O_CREAT) && Mode("kill-at-create") && EndsWith(path, "!qv"))
        raise(SIGKILL);
}

bool Unsynced(const char* from) {
    char path[PATH_MAX];
    if (!realpath(from, path)) return false;
    for (const auto& p : unsynced)
        if (std::strcmp(p, path) == 0) return true;
    return false;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) ? va_arg(args, mode_t) : 0;
    va_end(args);
    static const auto real = Real<int (*)(const char*, int, ...)>("open");
    const int fd = real(path, flags, mode);
    Created(path, flags, fd);
    return fd;
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) ? va_arg(args, mode_t) : 0;
    va_end(args);
    static const auto real = Real<int (*)(const char*, int, ...)>("open64");
    const int fd = real(path, flags, mode);
    Created(path, flags, fd);
    return fd;
}

ssize_t write(int fd, const void* data, size_t size) {
    static const auto real = Real<ssize_t (*)(int, const void*, size_t)>("write");
    Written(fd);
    return real(fd, data, size);
}

int fsync(int fd) {
    static const auto real = Real<int (*)(int)>("fsync");
    const int rc = real(fd);
    if (rc == 0 && fd >= 0 && fd < 4096) dirty[fd] = false;
    return rc;
}

int fdatasync(int fd) {
    static const auto real = Real<int (*)(int)>("fdatasync");
    const int rc = real(fd);
    if (rc == 0 && fd >= 0 && fd < 4096) dirty[fd] = false;
    return rc;
}

int close(int fd) {
    static const auto real = Real<int (*)(int)>("close");
    if (fd >= 0 && fd < 4096 && dirty[fd]) {
        dirty[fd] = false;
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        char* into = unsynced[unsyncedNext++ % 16];
        const ssize_t n = readlink(link, into, PATH_MAX - 1);
        into[n > 0 ? n : 0] = '\0';
    }
    return real(fd);
}

int rename(const char* from, const char* to) {
    static const auto real = Real<int (*)(const char*, const char*)>("rename");
    if (Mode("unsynced-rename") && EndsWith(to, ".qvjob") && Unsynced(from)) {
        errno = EIO;
        return -1;
    }
    const int rc = real(from, to);
    if (rc == 0 && Mode(nullptr) && EndsWith(from, "!qv")) raise(SIGKILL);
    return rc;
}

}  // extern "C"
