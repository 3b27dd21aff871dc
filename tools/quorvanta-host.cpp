// quorvanta-host: the native messaging host of the Quorvanta browser extension. The browser starts
// it and writes messages to its standard input, each a 32-bit length in native byte order followed
// by that many bytes of JSON: {"command": "down" | "search" | "all", "url": ..., "info": ...,
// "ref": ...}. Each is handed to the running program through libquorvanta (which starts the
// program when needed) and answered the same way on standard output with {"ok": true} or
// {"ok": false, "error": "..."}. The host ends when the browser closes its input.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "handoff_lib/quorvanta.h"

namespace {

// Larger messages are read and refused; the browser sends small ones.
constexpr uint32_t kMaxFrame = 1024 * 1024;

bool ReadExactly(void* to, size_t size) {
    return size == 0 || std::fread(to, 1, size, stdin) == size;
}

bool Skip(uint32_t size) {
    char buffer[65536];
    while (size > 0) {
        const size_t chunk = size < sizeof buffer ? size : sizeof buffer;
        if (!ReadExactly(buffer, chunk)) return false;
        size -= static_cast<uint32_t>(chunk);
    }
    return true;
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

}  // namespace

int main() {
    for (;;) {
        uint32_t size = 0;
        const size_t got = std::fread(&size, 1, sizeof size, stdin);
        if (got == 0) return 0;  // the browser closed the connection
        if (got != sizeof size) return 1;
        if (size > kMaxFrame) {
            if (!Skip(size)) return 1;
            if (!Answer(Refuse(QStringLiteral("the message is longer than 1 MiB")))) return 1;
            continue;
        }
        QByteArray frame(static_cast<qsizetype>(size), Qt::Uninitialized);
        if (!ReadExactly(frame.data(), size)) return 1;
        if (!Answer(Handle(frame))) return 1;
    }
}
