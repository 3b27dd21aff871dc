// quorvanta-host: the native messaging host of the Quorvanta browser extension. The browser starts
// it and writes messages to its standard input, each a 32-bit length in native byte order followed
// by that many bytes of JSON: {"command": "down" | "search" | "all", "url": ..., "info": ...,
// "ref": ...}. Each is handed to the running program through libquorvanta (which starts the
// program when needed) and answered the same way on standard output with {"ok": true} or
// {"ok": false, "error": "..."}. The host ends when the browser closes its input.
//
// A first message {"command": "link"} (the extension's long-lived connectNative port) turns the
// host into a relay instead: it keeps a connection to the running program's socket ("QV-BROWSER"),
// re-connecting every second while the program is not running, and carries every message both
// ways, one JSON object a line on the socket. Messages from the browser while the program is not
// connected are dropped; the program's questions always come first.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>
#include <cstdint>
#include <cstdio>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "handoff_lib/HandoffProtocol.h"
#include "handoff_lib/HostFrames.h"
#include "handoff_lib/ProgramSocket.h"
#include "handoff_lib/quorvanta.h"

namespace {

// Larger messages are read and refused; the browser sends small ones.
constexpr uint32_t kMaxFrame = HandoffProtocol::kMaxLinkLine;

size_t ReadStdin(void* to, size_t size) {
    return std::fread(to, 1, size, stdin);
}

bool Answer(const QJsonObject& answer) {
    const QByteArray json = QJsonDocument(answer).toJson(QJsonDocument::Compact);
    const uint32_t size = static_cast<uint32_t>(json.size());
    return std::fwrite(&size, sizeof size, 1, stdout) == 1 &&
           std::fwrite(json.constData(), 1, json.size(), stdout) == static_cast<size_t>(size) &&
           std::fflush(stdout) == 0;
}

QJsonObject Refuse(const QString& error) {
    return QJsonObject{{"ok", false}, {"error", error}};
}

// An optional text field: absent counts as empty; anything but a string is refused.
bool Text(const QJsonObject& message, const char* key, QByteArray* out, QString* error) {
    const QJsonValue value = message.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull()) {
        out->clear();
        return true;
    }
    if (!value.isString()) {
        *error = QStringLiteral("\"%1\" is not a string").arg(QLatin1String(key));
        return false;
    }
    *out = value.toString().toUtf8();
    if (out->contains('\0')) {
        *error = QStringLiteral("\"%1\" contains a NUL character").arg(QLatin1String(key));
        return false;
    }
    return true;
}

QJsonObject Handle(const QByteArray& frame) {
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(frame, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return Refuse(QStringLiteral("the message is not JSON: ") + parseError.errorString());
    if (!doc.isObject()) return Refuse(QStringLiteral("the message is not a JSON object"));
    const QJsonObject message = doc.object();
    const QString command = message.value(QLatin1String("command")).toString();
    QByteArray url, info, ref;
    QString error;
    if (!Text(message, "url", &url, &error) || !Text(message, "info", &info, &error) ||
        !Text(message, "ref", &ref, &error))
        return Refuse(error);
    if (url.isEmpty()) return Refuse(QStringLiteral("the message has no URL"));
    int rc;
    if (command == QLatin1String("down"))
        rc = quorvanta_add_url(url.constData(), info.constData(), ref.constData());
    else if (command == QLatin1String("search"))
        rc = quorvanta_add_search(url.constData());
    else if (command == QLatin1String("all"))
        rc = quorvanta_add_all(url.constData(), info.constData(), ref.constData());
    else
        return Refuse(QStringLiteral("unknown command \"%1\"").arg(command));
    if (rc != 0) return Refuse(QString::fromUtf8(quorvanta_last_error()));
    return QJsonObject{{"ok", true}};
}

// The relay's input side reads the standard input through its file descriptor (poll needs it).
size_t ReadStdinFd(void* to, size_t size) {
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, to, size);
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? 0 : static_cast<size_t>(n);
    }
}

bool WriteFd(int fd, const char* p, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The program's socket, when it listens and it and its folder belong to this user; -1 otherwise.
int ConnectProgram() {
    ProgramSocket place;
    int fd = -1;
    if (!place.Locate() || place.Link(&fd) != ProgramSocket::Delivered) return -1;
    return fd;
}

int Relay() {
    int program = -1;
    QByteArray lines;
    HostFrames input(ReadStdinFd, 64 * kMaxFrame, 64 * kMaxFrame);
    std::string bytes;
    for (;;) {
        if (program < 0) program = ConnectProgram();
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {program, POLLIN, 0}};
        const int ready = ::poll(fds, program < 0 ? 1 : 2, program < 0 ? 1000 : -1);
        if (ready < 0 && errno != EINTR) return 1;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const HostFrames::Result got = input.Next(&bytes);
            if (got == HostFrames::Closed) return 0;  // the browser closed the port
            if (got != HostFrames::Frame) return 1;
            const QByteArray frame = QByteArray::fromStdString(bytes);
            // One line each on the socket: re-written without line breaks.
            const QJsonDocument doc = QJsonDocument::fromJson(frame);
            if (program >= 0 && doc.isObject()) {
                const QByteArray line = doc.toJson(QJsonDocument::Compact) + '\n';
                if (!WriteFd(program, line.constData(), static_cast<size_t>(line.size()))) {
                    ::close(program);
                    program = -1;
                }
            }
        }
        if (program >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buffer[65536];
            const ssize_t n = ::recv(program, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ::close(program);
                program = -1;
                lines.clear();
                continue;
            }
            lines.append(buffer, n);
            for (qsizetype end; (end = lines.indexOf('\n')) >= 0;) {
                const QJsonDocument doc = QJsonDocument::fromJson(lines.left(end));
                lines.remove(0, end + 1);
                if (doc.isObject() && !Answer(doc.object())) return 1;
            }
            if (lines.size() > static_cast<qsizetype>(kMaxFrame)) lines.clear();
        }
    }
}

}  // namespace

int main() {
    // Unbuffered: after the link message the rest of the input is read through its descriptor.
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    HostFrames input(ReadStdin, kMaxFrame, UINT32_MAX);
    std::string bytes;
    for (bool first = true;; first = false) {
        const HostFrames::Result got = input.Next(&bytes);
        if (got == HostFrames::Closed) return 0;  // the browser closed the connection
        if (got == HostFrames::Broken) return 1;
        if (got == HostFrames::Skipped) {
            if (!Answer(Refuse(QStringLiteral("the message is longer than 1 MiB")))) return 1;
            continue;
        }
        const QByteArray frame = QByteArray::fromStdString(bytes);
        if (first && QJsonDocument::fromJson(frame).object().value("command").toString() ==
                         QLatin1String("link")) {
            if (!Answer(QJsonObject{{"ok", true}, {"linked", true}})) return 1;
            return Relay();
        }
        if (!Answer(Handle(frame))) return 1;
    }
}
