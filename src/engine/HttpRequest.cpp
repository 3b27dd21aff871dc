#include "engine/HttpRequest.h"

QByteArray HttpRequest::Bytes() const {
    QByteArray r;
    r.reserve(256 + Target.size());
    r += "GET " + EncodeTarget(Target) + " HTTP/1.1\r\n";
    r += "Accept: */*\r\n";
    if (OddAcceptEncoding) r += "Accept -Encoding: gzip , deflate\r\n";
    r += "User-Agent: " + CleanHeaderText(UserAgent) + "\r\n";
    r += "Host: " +
         (HostText == HostRule::PercentEncoded ? EncodeTarget(Host) : CleanHeaderText(Host)) +
         "\r\n";
    if (RangeFrom >= 0) {
        r += "Range: bytes=" + QByteArray::number(RangeFrom) + "-\r\n";
        if (!IfRange.isEmpty()) r += "If-Range: " + CleanHeaderText(IfRange) + "\r\n";
    }
    for (const QString& line : ExtraLines) r += CleanHeaderText(line) + "\r\n";
    r += "Connection: close\r\n\r\n";
    return r;
}

QByteArray HttpRequest::EncodeTarget(const QString& target) {
    const QByteArray utf8 = target.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    static const char hex[] = "0123456789ABCDEF";
    for (const char ch : utf8) {
        const auto b = static_cast<unsigned char>(ch);
        if (b > 0x20 && b < 0x7f) {
            out.append(ch);
        } else {
            out.append('%');
            out.append(hex[b >> 4]);
            out.append(hex[b & 15]);
        }
    }
    return out;
}

QByteArray HttpRequest::CleanHeaderText(const QString& text) {
    QByteArray out = text.toUtf8();
    for (char& ch : out)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = ' ';
    return out;
}

QStringList HttpRequest::RefererAndLogin(const QString& referer, bool useLogin, const QString& user,
                                         const QString& password) {
    QStringList lines;
    if (!referer.trimmed().isEmpty()) lines << QStringLiteral("Referer: ") + referer.trimmed();
    if (useLogin && !(user.isEmpty() && password.isEmpty()))
        lines << QStringLiteral("Authorization: Basic ") +
                     QString::fromLatin1((user + QLatin1Char(':') + password).toUtf8().toBase64());
    return lines;
}
