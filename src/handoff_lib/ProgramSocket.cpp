#include "handoff_lib/ProgramSocket.h"

#include "handoff_lib/HandoffProtocol.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

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

bool ProgramSocket::Locate() {
    folder = HandoffProtocol::SocketFolder();
    path = HandoffProtocol::SocketPath();
    if (path.empty()) {
        error = "no home folder is known";
        return false;
    }
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

    const std::string frame = HandoffProtocol::Frame(message);
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
    if (line == HandoffProtocol::kTaken) return Delivered;
    const std::string_view refused = HandoffProtocol::kRefused;
    if (line.compare(0, refused.size(), refused) == 0)
        error = "the program refused the message: " + line.substr(refused.size());
    else
        error = "the program gave an unknown answer";
    return Failed;
}

ProgramSocket::Outcome ProgramSocket::Link(int* fd) {
    int s = -1;
    const Outcome connected = Connect(&s);
    if (connected != Delivered) return connected;
    FdCloser closer(s);
    const std::string_view greeting = HandoffProtocol::kBrowser;
    size_t sent = 0;
    while (sent < greeting.size()) {
        const ssize_t n = ::send(s, greeting.data() + sent, greeting.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "the connection to the program broke: " + ErrnoText(errno);
            return Vanished;
        }
        sent += static_cast<size_t>(n);
    }
    *fd = closer.release();
    return Delivered;
}
