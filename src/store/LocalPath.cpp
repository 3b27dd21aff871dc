#include "store/LocalPath.h"

#include <algorithm>
#include <string>

#include "handoff_lib/HandoffProtocol.h"

namespace LocalPath {

namespace {
qsizetype LastSeparator(const QString& path) {
    return std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
}
}  // namespace

QString FileNamePart(const QString& path) {
    return path.mid(LastSeparator(path) + 1);
}

QString DecodedName(const QString& segment) {
    auto hex = [](QChar c) {
        const char16_t u = c.unicode();
        return u >= '0' && u <= '9'   ? u - '0'
               : u >= 'a' && u <= 'f' ? u - 'a' + 10
               : u >= 'A' && u <= 'F' ? u - 'A' + 10
                                      : -1;
    };
    // The byte of the escape at i, or -1.
    auto escaped = [&](qsizetype i) {
        if (i + 2 >= segment.size() || segment[i] != u'%') return -1;
        const int high = hex(segment[i + 1]);
        const int low = hex(segment[i + 2]);
        return high < 0 || low < 0 ? -1 : high * 16 + low;
    };
    QString name;
    qsizetype i = 0;
    while (i < segment.size()) {
        const int lead = escaped(i);
        if (lead < 0) {
            name += segment[i++];
            continue;
        }
        // One character: its lead byte tells how many escapes follow.
        const int length = lead < 0x80                    ? 1
                           : lead >= 0xC2 && lead <= 0xDF ? 2
                           : lead >= 0xE0 && lead <= 0xEF ? 3
                           : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                          : 0;
        std::string bytes;
        for (int k = 0; k < length; ++k) {
            const int b = escaped(i + 3 * k);
            if (b < 0) break;
            bytes += static_cast<char>(b);
        }
        const QString decoded =
            static_cast<int>(bytes.size()) == length && length > 0 && HandoffProtocol::IsUtf8(bytes)
                ? QString::fromStdString(bytes)
                : QString();
        const bool usable =
            !decoded.isEmpty() && decoded != u"/" && decoded != u"\\" &&
            !(decoded.size() == 1 && (decoded[0].unicode() < 0x20 || decoded[0].unicode() == 0x7f));
        if (usable) {
            name += decoded;
            i += 3 * length;
        } else {
            name += segment.mid(i, 3);
            i += 3;
        }
    }
    if (name == u"." || name == u"..") return QString(QStringLiteral("%2E")).repeated(name.size());
    return name;
}

QString FolderPart(const QString& path) {
    const qsizetype p = LastSeparator(path);
    return p < 0 ? QString() : path.left(p + 1);
}

}  // namespace LocalPath
