#include "handoff_lib/ProgramSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (home.empty()) {
        std::vector<char> buffer(16384);
        passwd entry{};
        passwd* found = nullptr;
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
            found->pw_dir)
            home = found->pw_dir;
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

std::string ErrnoText(int code) {
    return std::strerror(code);
}

class FdCloser {
public:
    explicit FdCloser(int fd) : fd(fd) {}
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
    int release() {
        const int f = fd;
        fd = -1;
        return f;
    }

private:
    int fd;
};

int RemainingMs(ProgramSocket::Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - ProgramSocket::Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

std::string ProgramSocket::Hash(const std::string& text) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
    return out;
}

std::string ProgramSocket::CleanPath(const std::string& path) {
    const bool absolute = !path.empty() && path[0] == '/';
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part.empty() || part == ".") {
        } else if (part == ".." && !parts.empty() && parts.back() != "..") {
            parts.pop_back();
        } else if (part == ".." && absolute) {
            // Above the root stays at the root.
        } else {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? "/" : "") + parts[i];
    return out.empty() ? "." : out;
}

bool ProgramSocket::Locate() {
    const std::string uid = std::to_string(getuid());
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    if (!runtime.empty() && runtime[0] == '/')
        folder = CleanPath(runtime + "/quorvanta");
    else
        folder = "/tmp/quorvanta-" + uid;
    std::string dataHome = Env("XDG_DATA_HOME");
    if (dataHome.empty()) {
        const std::string home = HomeFolder();
        if (home.empty()) {
            error = "no home folder is known";
            return false;
        }
        dataHome = home + "/.local/share";
    }
    path = folder + "/quorvanta-" + uid + "-" + Hash(CleanPath(dataHome + "/quorvanta")) + ".sock";
    if (path.size() >= sizeof(sockaddr_un{}.sun_path)) {
        error = "the socket path is too long: " + path;
        return false;
    }
    return true;
}

bool ProgramSocket::CheckOwner(const std::string& what, bool wantSocket, Outcome* outcome) {
    struct stat st {};
    if (::lstat(what.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            *outcome = NotListening;
        } else {
            error = "cannot inspect " + what + ": " + ErrnoText(errno);
            *outcome = Failed;
        }
        return false;
    }
    const bool rightType = wantSocket ? S_ISSOCK(st.st_mode) : S_ISDIR(st.st_mode);
    if (!rightType || st.st_uid != getuid() || (!wantSocket && (st.st_mode & 077) != 0)) {
        error = "refusing " + what + ": it is not " +
                (wantSocket ? std::string("a socket") : std::string("a folder of mode 0700")) +
                " owned by this user";
        *outcome = Unsafe;
        return false;
    }
    return true;
}

ProgramSocket::Outcome ProgramSocket::Connect(int* fd) {
    Outcome outcome = Failed;
    if (!CheckOwner(folder, false, &outcome) || !CheckOwner(path, true, &outcome)) return outcome;
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        error = "cannot create a socket: " + ErrnoText(errno);
        return Failed;
    }
    FdCloser closer(s);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int rc;
    do rc = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        if (errno == ECONNREFUSED || errno == ENOENT) return NotListening;
        error = "cannot connect to " + path + ": " + ErrnoText(errno);
        return Failed;
    }
    // The listener itself must run as this user.
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(s, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != getuid()) {
        error = "refusing " + path + ": the program listening there runs as another user";
        return Unsafe;
    }
    *fd = closer.release();
    return Delivered;
}

ProgramSocket::Outcome ProgramSocket::Exchange(const std::string& message,
                                               Clock::time_point deadline) {
    int s = -1;
    const Outcome connected = Connect(&s);
    if (connected != Delivered) return connected;
    FdCloser closer(s);

    const std::string frame = "QV-HANDOFF " + std::to_string(message.size()) + "\n" + message;
    size_t sent = 0;
    while (sent < frame.size()) {
        pollfd p{s, POLLOUT, 0};
        const int ready = ::poll(&p, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            error = "the program did not take the message in time";
            return Failed;
        }
        const ssize_t n =
            ::send(s, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            error = "the connection to the program broke: " + ErrnoText(errno);
            return Vanished;
        }
        sent += static_cast<size_t>(n);
    }

    std::string answer;
    while (answer.find('\n') == std::string::npos && answer.size() < 4096) {
        pollfd p{s, POLLIN, 0};
        const int ready = ::poll(&p, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            error = "the program did not answer in time";
            return Failed;
        }
        char buffer[512];
        const ssize_t n = ::recv(s, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            error = "the program closed the connection without taking the message";
            return answer.empty() ? Vanished : Failed;
        }
        answer.append(buffer, static_cast<size_t>(n));
    }
    const std::string line = answer.substr(0, answer.find('\n'));
    if (line == "QV-TAKEN") return Delivered;
    const std::string refused = "QV-REFUSED ";
    if (line.compare(0, refused.size(), refused) == 0)
        error = "the program refused the message: " + line.substr(refused.size());
    else
        error = "the program gave an unknown answer";
    return Failed;
}
