#include "handoff_lib/ProgramStarter.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

void Anchor() {}

// Async-signal-safe: runs between fork and exec.
[[noreturn]] void Exec(const char* program, int reportFd) {
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (null > 2) ::close(null);
    }
    // Everything above the three standard descriptors is closed, except the report pipe, which
    // closes itself at exec.
    if (reportFd > 3) ::close_range(3, static_cast<unsigned>(reportFd) - 1, 0);
    ::close_range(static_cast<unsigned>(reportFd) + 1, ~0U, 0);
    char* const argv[] = {const_cast<char*>(program), nullptr};
    ::execve(program, argv, environ);
    const int code = errno;
    ssize_t ignored = ::write(reportFd, &code, sizeof code);
    (void)ignored;
    ::_exit(127);
}

}  // namespace

std::string ProgramStarter::OwnFolder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&Anchor), &info) == 0 || !info.dli_fname) return {};
    char resolved[PATH_MAX];
    std::string file = info.dli_fname;
    if (::realpath(file.c_str(), resolved)) file = resolved;
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : file.substr(0, slash);
}

bool ProgramStarter::Start(const std::string& program, std::string* error) {
    if (::access(program.c_str(), X_OK) != 0) {
        *error = "cannot start " + program + ": " + std::strerror(errno);
        return false;
    }
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        *error = "cannot start " + program + ": " + std::strerror(errno);
        return false;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        const int code = errno;
        ::close(report[0]);
        ::close(report[1]);
        *error = "cannot start " + program + ": " + std::strerror(code);
        return false;
    }
    if (child == 0) {
        // The first child only makes the session and the grandchild, then ends, so the program
        // is nobody's child to reap.
        ::close(report[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild == 0) Exec(program.c_str(), report[1]);
        if (grandchild < 0) {
            const int code = errno;
            ssize_t ignored = ::write(report[1], &code, sizeof code);
            (void)ignored;
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int code = 0;
    ssize_t n;
    do n = ::read(report[0], &code, sizeof code);
    while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof code)) {
        *error = "cannot start " + program + ": " + std::strerror(code);
        return false;
    }
    return true;
}
