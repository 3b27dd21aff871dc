#include "browser/HandoffMessage.h"

#include "handoff_lib/HandoffProtocol.h"

namespace {
QString Text(std::string_view word) {
    return QString::fromLatin1(word.data(), static_cast<qsizetype>(word.size()));
}

const QString kSeparator = Text(HandoffProtocol::kSeparator);
}  // namespace

QString HandoffMessage::Field(const QString& text, const QString& key) {
    const qsizetype at = text.indexOf(key, 0, Qt::CaseInsensitive);
    if (at < 0) return QString();
    const qsizetype from = at + key.size();
    const qsizetype to = text.indexOf(kSeparator, from, Qt::CaseInsensitive);
    if (to < 0) return QString();
    return text.mid(from, to - from);
}

QByteArray HandoffMessage::Problem(const QString& text) {
    const HandoffMessage m = Parse(text);
    if (m.Mode == 0) return "the message starts with no command word (down, search or all)";
    if (m.Url.trimmed().isEmpty()) return "the message names no address";
    return QByteArray();
}

HandoffMessage HandoffMessage::Parse(const QString& text) {
    HandoffMessage m;
    m.Url = Field(text, Text(HandoffProtocol::kUrlKey));
    m.Info = Field(text, Text(HandoffProtocol::kInfoKey));
    m.Ref = Field(text, Text(HandoffProtocol::kRefKey));
    // The three tests are all made, in this order; at most one of the words can match.
    if (text.startsWith(Text(HandoffProtocol::kDown), Qt::CaseInsensitive)) m.Mode = 1;
    if (text.startsWith(Text(HandoffProtocol::kSearch), Qt::CaseInsensitive)) m.Mode = 2;
    if (text.startsWith(Text(HandoffProtocol::kAll), Qt::CaseInsensitive)) m.Mode = 4;
    return m;
}
