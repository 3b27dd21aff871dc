#pragma once
// The GET request every part of the program sends (download connections, the page analyser,
// the update check), byte for byte:
//
//   GET target HTTP/1.1
//   Accept: */*
//   [Accept -Encoding: gzip , deflate]      (the old line with a blank in its name)
//   User-Agent: agent
//   Host: host
//   [Range: bytes=from-]
//   [If-Range: validator]                   (only with a Range)
//   [extra lines, in order]
//   Connection: close
//   (blank line)
//
// The target goes out with controls, blanks and non-ASCII bytes percent-encoded (UTF-8); header
// texts have their control characters turned into blanks, so no text can break the request into
// extra lines.

#include <QByteArray>
#include <QString>
#include <QStringList>

class HttpRequest {
public:
    // How the Host line's text is made safe. Download connections and the update check turn
    // control characters into blanks; the page analyser percent-encodes the host like a target.
    enum class HostRule { Cleaned, PercentEncoded };

    QString Target;
    QString UserAgent;
    QString Host;
    HostRule HostText = HostRule::Cleaned;
    bool OddAcceptEncoding = false;
    // "Range: bytes=RangeFrom-" when RangeFrom >= 0; If-Range follows it when not empty.
    qint64 RangeFrom = -1;
    QString IfRange;
    // Whole header lines ("Referer: ...", "Authorization: ...") sent before "Connection: close".
    QStringList ExtraLines;

    QByteArray Bytes() const;

    // Printable ASCII as it stands, every other byte of the UTF-8 text as %XX.
    static QByteArray EncodeTarget(const QString& target);
    // The UTF-8 text with control characters (and DEL) turned into blanks.
    static QByteArray CleanHeaderText(const QString& text);
    // The extra lines for the page a link was found on and for a login of the address's own
    // server: "Referer: " and the trimmed referer when there is one; with useLogin and a user
    // name or a password, "Authorization: Basic " and the Base64 of the UTF-8 "user:password".
    static QStringList RefererAndLogin(const QString& referer, bool useLogin, const QString& user,
                                       const QString& password);
};
