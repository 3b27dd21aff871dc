#include "browser/HandoffMessage.h"

namespace {
const QString kSeparator = QStringLiteral("||**KVDRMB**||");
}

QString HandoffMessage::Field(const QString& text, const QString& key) {
    const qsizetype at = text.indexOf(key, 0, Qt::CaseInsensitive);
    if (at < 0) return QString();
    const qsizetype from = at + key.size();
    const qsizetype to = text.indexOf(kSeparator, from, Qt::CaseInsensitive);
    if (to < 0) return QString();
    return text.mid(from, to - from);
}

HandoffMessage HandoffMessage::Parse(const QString& text) {
    HandoffMessage m;
    m.Url = Field(text, QStringLiteral("my_kvd_Url:="));
    m.Info = Field(text, QStringLiteral("my_kvd_Info:="));
    m.Ref = Field(text, QStringLiteral("my_kvd_Ref:="));
    // The three tests are all made, in this order; at most one of the words can match.
    if (text.startsWith(QStringLiteral("down"), Qt::CaseInsensitive)) m.Mode = 1;
    if (text.startsWith(QStringLiteral("search"), Qt::CaseInsensitive)) m.Mode = 2;
    if (text.startsWith(QStringLiteral("all"), Qt::CaseInsensitive)) m.Mode = 4;
    return m;
}
