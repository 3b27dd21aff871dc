// Preloaded into the downloader by a test, to reach the moments a random kill rarely hits, as
// QV_PRELOAD_FAULT chooses: unset, the process kills itself right after it renames a working file
// ("...!qv") to its final name; "kill-at-create", right after it creates a working file;
// "unsynced-rename", a rename onto a job record (".qvjob") fails with EIO when the file renamed
// was written since it was last synced.
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
#include <utility>

namespace {

template <typename F>
F Real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool Fault(const char* mode) {
    const char* set = std::getenv("QV_PRELOAD_FAULT");
    return std::strcmp(set ? set : "", mode) == 0;
}

bool EndsWith(const char* s, const char* tail) {
    const size_t n = std::strlen(s), m = std::strlen(tail);
    return n >= m && std::strcmp(s + n - m, tail) == 0;
}

// Descriptors written since their last sync, and the last file closed that way.
bool dirty[4096];
char unsynced[PATH_MAX];

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) ? va_arg(args, mode_t) : 0;
    va_end(args);
    const int fd = Real<int (*)(const char*, int, ...)>("open")(path, flags, mode);
    if (fd >= 0 && (flags & O_CREAT) && Fault("kill-at-create") && EndsWith(path, "!qv"))
        raise(SIGKILL);
    return fd;
}

ssize_t write(int fd, const void* data, size_t size) {
    if (fd >= 0 && fd < 4096) dirty[fd] = true;
    return Real<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, size);
}

int fsync(int fd) {
    if (fd >= 0 && fd < 4096) dirty[fd] = false;
    return Real<int (*)(int)>("fsync")(fd);
}

int close(int fd) {
    if (fd >= 0 && fd < 4096 && std::exchange(dirty[fd], false)) {
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t n = readlink(link, unsynced, PATH_MAX - 1);
        unsynced[n > 0 ? n : 0] = '\0';
    }
    return Real<int (*)(int)>("close")(fd);
}

int rename(const char* from, const char* to) {
    char path[PATH_MAX];
    if (Fault("unsynced-rename") && EndsWith(to, ".qvjob") && realpath(from, path) &&
        std::strcmp(path, unsynced) == 0) {
        errno = EIO;
        return -1;
    }
    const int rc = Real<int (*)(const char*, const char*)>("rename")(from, to);
    if (rc == 0 && Fault("") && EndsWith(from, "!qv")) raise(SIGKILL);
    return rc;
}

}  // extern "C"
