// Preloaded by a test into a program of its own: with QV_SLOW_LAYOUT_MS set, every reservation
// of a megabyte or more takes that many milliseconds longer, as on a file system that writes a
// new file's every byte.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

extern "C" int fallocate(int fd, int mode, off_t offset, off_t len) {
    const char* slow = std::getenv("QV_SLOW_LAYOUT_MS");
    if (slow != nullptr && len >= 1000000) usleep(static_cast<useconds_t>(std::atoi(slow)) * 1000);
    using Real = int (*)(int, int, off_t, off_t);
    return reinterpret_cast<Real>(dlsym(RTLD_NEXT, "fallocate"))(fd, mode, offset, len);
}
