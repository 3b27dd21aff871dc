#pragma once
// Helpers shared by the store tests: a byte builder that spells the job database format out field
// by field, a catcher for user messages, and a folder that refuses new files.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstring>

#include "store/UserMessage.h"

// Little-endian bytes, appended in the order the calls are made.
class ByteBuilder {
public:
    ByteBuilder& Str(const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        U16(static_cast<quint16>(utf8.size()));
        bytes.append(utf8);
        return *this;
    }
    ByteBuilder& U16(quint16 v) { return Raw(&v, 2); }
    ByteBuilder& I16(qint16 v) { return Raw(&v, 2); }
    ByteBuilder& I32(qint32 v) { return Raw(&v, 4); }
    ByteBuilder& F64(double v) { return Raw(&v, 8); }
    ByteBuilder& F32(float v) { return Raw(&v, 4); }
    ByteBuilder& Hex(const char* hex) {
        bytes.append(QByteArray::fromHex(hex));
        return *this;
    }
    QByteArray bytes;

private:
    // The test machines are little-endian; the layout is spelled out byte by byte elsewhere.
    ByteBuilder& Raw(const void* p, int n) {
        bytes.append(static_cast<const char*>(p), n);
        return *this;
    }
};

// Collects every user message while it lives.
class MessageCatcher {
public:
    MessageCatcher() {
        UserMessage::SetHandler(
            [this](UserMessage::Icon, const QString&, const QString& text) { texts.append(text); });
    }
    ~MessageCatcher() { UserMessage::SetHandler({}); }
    QStringList texts;
};

// Makes a folder refuse new files, also for root (immutable flag), while it lives. ok() is false
// where neither permissions nor the flag can do it.
class LockedFolder {
public:
    explicit LockedFolder(const QString& path);
    ~LockedFolder();
    bool ok() const { return locked; }

private:
    QString path;
    bool locked = false;
    bool immutable = false;
};
