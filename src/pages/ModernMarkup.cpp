#include "pages/ModernMarkup.h"

#include "engine/UrlResolve.h"

namespace {

// Characters of the page walked per step.
constexpr qsizetype kStepChars = 32 * 1024;
// A script string longer than this is not a movie address.
constexpr qsizetype kMaxScriptString = 4096;

const QString kFlashType = QStringLiteral("application/x-shockwave-flash");
// The class id of the Flash player control.
const QString kFlashClassId = QStringLiteral("d27cdb6e-ae6d-11cf-96b8-444553540000");

bool IsBlank(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\f';
}

bool IsAsciiLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

bool IsIdentifierChar(QChar c) {
    const char16_t u = c.unicode();
    return IsAsciiLetter(c) || (u >= u'0' && u <= u'9') || u == u'_' || u == u'$';
}

// The path of a reference ends in ".swf" (any case) before its query or fragment.
bool EndsInSwf(const QString& reference) {
    qsizetype end = reference.size();
    const qsizetype query = reference.indexOf(u'?');
    if (query >= 0) end = query;
    const qsizetype fragment = reference.indexOf(u'#');
    if (fragment >= 0 && fragment < end) end = fragment;
    return QStringView(reference).left(end).trimmed().endsWith(QLatin1String(".swf"),
                                                               Qt::CaseInsensitive);
}

bool IsFlashType(const QString& type) {
    return type.trimmed().startsWith(kFlashType, Qt::CaseInsensitive);
}

}  // namespace

ModernMarkup::ModernMarkup(const QString& text, const QString& lower, const QString& pageUrl)
    : text(text), lower(lower) {
    // The page's own address without its fragment is the base until a <base href> says else.
    const qsizetype hash = pageUrl.indexOf(u'#');
    base = hash < 0 ? pageUrl : pageUrl.left(hash);
}

QString ModernMarkup::Tag::Value(const QString& attributeName) const {
    for (const Attribute& a : attributes)
        if (a.name == attributeName) return a.value;
    return QString();
}

bool ModernMarkup::Tag::Has(const QString& attributeName) const {
    for (const Attribute& a : attributes)
        if (a.name == attributeName) return true;
    return false;
}

bool ModernMarkup::Step() {
    if (!baseFound) {
        baseFound = true;
        FindBase();
        return true;
    }
    const qsizetype size = lower.size();
    const qsizetype stop = pos + kStepChars;
    while (pos < size && pos < stop) {
        const qsizetype lt = lower.indexOf(u'<', pos);
        if (lt < 0 || lt + 1 >= size) {
            pos = size;
            break;
        }
        const QChar next = lower.at(lt + 1);
        if (next == u'/') {
            // An end tag: only OBJECT's matters.
            pos = lt + 2;
            if (QStringView(lower).mid(lt + 2, 6) == QLatin1String("object") &&
                (lt + 8 >= size || IsBlank(lower.at(lt + 8)) || lower.at(lt + 8) == u'>') &&
                !objects.isEmpty())
                objects.removeLast();
            continue;
        }
        if (!IsAsciiLetter(next)) {
            // Text, a comment opening, a declaration: the walk goes on after the "<".
            pos = lt + 1;
            continue;
        }
        qsizetype nameEnd = lt + 1;
        while (nameEnd < size && !IsBlank(lower.at(nameEnd)) && lower.at(nameEnd) != u'>' &&
               lower.at(nameEnd) != u'/')
            ++nameEnd;
        const QStringView name = QStringView(lower).mid(lt + 1, nameEnd - lt - 1);
        const bool wanted = name == QLatin1String("embed") || name == QLatin1String("object") ||
                            name == QLatin1String("param") || name == QLatin1String("script") ||
                            name == QLatin1String("style");
        const Tag tag = ParseTag(lt, wanted);
        pos = tag.end;
        if (wanted) TakeTag(tag);
    }
    return pos < size;
}

ModernMarkup::Tag ModernMarkup::ParseTag(qsizetype p, bool collect) const {
    Tag tag;
    const qsizetype size = lower.size();
    qsizetype i = p + 1;
    while (i < size && !IsBlank(lower.at(i)) && lower.at(i) != u'>' && lower.at(i) != u'/') ++i;
    tag.name = lower.mid(p + 1, i - p - 1);
    while (true) {
        while (i < size && (IsBlank(lower.at(i)) || lower.at(i) == u'/')) ++i;
        if (i >= size) {
            tag.end = size;
            return tag;
        }
        if (lower.at(i) == u'>') {
            tag.end = i + 1;
            return tag;
        }
        const qsizetype nameStart = i;
        ++i;  // a name may begin with "="
        while (i < size && !IsBlank(lower.at(i)) && lower.at(i) != u'>' && lower.at(i) != u'/' &&
               lower.at(i) != u'=')
            ++i;
        const qsizetype nameEnd = i;
        qsizetype j = i;
        while (j < size && IsBlank(lower.at(j))) ++j;
        QString value;
        bool hasValue = false;
        if (j < size && lower.at(j) == u'=') {
            hasValue = true;
            i = j + 1;
            while (i < size && IsBlank(lower.at(i))) ++i;
            if (i < size && (lower.at(i) == u'"' || lower.at(i) == u'\'')) {
                const QChar quote = lower.at(i);
                const qsizetype close = lower.indexOf(quote, i + 1);
                const qsizetype valueEnd = close < 0 ? size : close;
                if (collect) value = text.mid(i + 1, valueEnd - i - 1);
                i = close < 0 ? size : close + 1;
            } else {
                const qsizetype valueStart = i;
                while (i < size && !IsBlank(lower.at(i)) && lower.at(i) != u'>') ++i;
                if (collect) value = text.mid(valueStart, i - valueStart);
            }
        }
        if (collect)
            tag.attributes.append(Attribute{lower.mid(nameStart, nameEnd - nameStart),
                                            hasValue ? DecodeEntities(value) : QString()});
    }
}

void ModernMarkup::FindBase() {
    // The first <base> with an href is the document's base, wherever it stands.
    const qsizetype size = lower.size();
    qsizetype from = 0;
    while (true) {
        const qsizetype p = lower.indexOf(QLatin1String("<base"), from);
        if (p < 0) return;
        from = p + 5;
        if (p + 5 < size && !IsBlank(lower.at(p + 5)) && lower.at(p + 5) != u'/' &&
            lower.at(p + 5) != u'>')
            continue;  // <basefont ...>
        const Tag tag = ParseTag(p, true);
        if (!tag.Has(QStringLiteral("href"))) continue;
        const QString resolved = Resolve(tag.Value(QStringLiteral("href")), base);
        if (!resolved.isEmpty()) base = resolved;
        return;
    }
}

void ModernMarkup::TakeTag(const Tag& tag) {
    if (tag.name == QLatin1String("embed")) {
        const QString src = tag.Value(QStringLiteral("src"));
        if (EndsInSwf(src) || IsFlashType(tag.Value(QStringLiteral("type")))) Add(src);
    } else if (tag.name == QLatin1String("object")) {
        const bool flash =
            IsFlashType(tag.Value(QStringLiteral("type"))) ||
            tag.Value(QStringLiteral("classid")).contains(kFlashClassId, Qt::CaseInsensitive);
        objects.append(flash);
        const QString data = tag.Value(QStringLiteral("data"));
        if (flash || EndsInSwf(data)) Add(data);
    } else if (tag.name == QLatin1String("param")) {
        if (objects.isEmpty()) return;
        const QString name = tag.Value(QStringLiteral("name")).trimmed().toLower();
        const QString value = tag.Value(QStringLiteral("value"));
        // "movie" names the Flash movie in any object; "src" is also used by other players.
        if (name == QLatin1String("movie") ||
            (name == QLatin1String("src") && (objects.last() || EndsInSwf(value))))
            Add(value);
    } else if (tag.name == QLatin1String("script") || tag.name == QLatin1String("style")) {
        // Raw text up to the end tag: no markup inside, but a script may embed movies.
        const QString endTag = tag.name == QLatin1String("script") ? QStringLiteral("</script")
                                                                   : QStringLiteral("</style");
        qsizetype end = lower.indexOf(endTag, tag.end);
        if (end < 0) end = lower.size();
        if (tag.name == QLatin1String("script")) ScanScript(tag.end, end);
        pos = end;
    }
}

void ModernMarkup::ScanScript(qsizetype from, qsizetype to) {
    static const QString kObject = QStringLiteral("swfobject");
    static const QString kEmbed = QStringLiteral("embedswf");
    qsizetype k = from;
    while ((k = lower.indexOf(kObject, k)) >= 0 && k < to) {
        const qsizetype at = k;
        k += kObject.size();
        if (at > from && IsIdentifierChar(lower.at(at - 1))) continue;
        qsizetype i = k;
        while (i < to && IsBlank(lower.at(i))) ++i;
        // new SWFObject("x.swf", ...)
        qsizetype b = at;
        while (b > from && IsBlank(lower.at(b - 1))) --b;
        const bool afterNew = b < at && b - 3 >= from &&
                              QStringView(lower).mid(b - 3, 3) == QLatin1String("new") &&
                              (b - 3 == from || !IsIdentifierChar(lower.at(b - 4)));
        if (afterNew) {
            if (i < to && lower.at(i) == u'(') Add(ScriptString(i + 1, to));
            continue;
        }
        // swfobject.embedSWF("x.swf", ...)
        if (i >= to || lower.at(i) != u'.') continue;
        ++i;
        while (i < to && IsBlank(lower.at(i))) ++i;
        if (QStringView(lower).mid(i, kEmbed.size()) != kEmbed) continue;
        i += kEmbed.size();
        while (i < to && IsBlank(lower.at(i))) ++i;
        if (i < to && lower.at(i) == u'(') Add(ScriptString(i + 1, to));
    }
}

QString ModernMarkup::ScriptString(qsizetype i, qsizetype to) const {
    while (i < to && IsBlank(text.at(i))) ++i;
    if (i >= to) return QString();
    const QChar quote = text.at(i);
    if (quote != u'"' && quote != u'\'' && quote != u'`') return QString();
    QString value;
    const qsizetype limit = std::min(to, i + 1 + kMaxScriptString);
    for (qsizetype j = i + 1; j < limit; ++j) {
        const QChar c = text.at(j);
        if (c == quote) return value;
        if (c != u'\\' || j + 1 >= limit) {
            value += c;
            continue;
        }
        const QChar e = text.at(++j);
        const int digits = e == u'x' ? 2 : e == u'u' ? 4 : 0;
        if (digits > 0 && j + digits < limit) {
            bool ok = false;
            const uint code = text.mid(j + 1, digits).toUInt(&ok, 16);
            if (ok) {
                value += QChar(static_cast<char16_t>(code));
                j += digits;
                continue;
            }
        }
        value += e;  // \" \' \\ \/ and the like stand for the character itself
    }
    return QString();  // no closing quote
}

void ModernMarkup::Add(const QString& reference) {
    const QString url = Resolve(reference, base);
    if (url.isEmpty() || seen.contains(url)) return;
    seen.insert(url);
    movies.append(url);
}

QString ModernMarkup::DecodeEntities(const QString& value) {
    qsizetype amp = value.indexOf(u'&');
    if (amp < 0) return value;
    QString out;
    out.reserve(value.size());
    qsizetype from = 0;
    while (amp >= 0) {
        out += QStringView(value).mid(from, amp - from);
        const qsizetype semi = value.indexOf(u';', amp + 1);
        QString replacement;
        if (semi > amp + 1 && semi - amp <= 10) {
            const QString name = value.mid(amp + 1, semi - amp - 1);
            if (name.startsWith(u'#')) {
                bool ok = false;
                const bool hex = name.size() > 1 && (name.at(1) == u'x' || name.at(1) == u'X');
                const uint code = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
                if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                    const char32_t c = code;
                    replacement = QString::fromUcs4(&c, 1);
                }
            } else if (name == QLatin1String("amp")) {
                replacement = QStringLiteral("&");
            } else if (name == QLatin1String("lt")) {
                replacement = QStringLiteral("<");
            } else if (name == QLatin1String("gt")) {
                replacement = QStringLiteral(">");
            } else if (name == QLatin1String("quot")) {
                replacement = QStringLiteral("\"");
            } else if (name == QLatin1String("apos")) {
                replacement = QStringLiteral("'");
            } else if (name == QLatin1String("nbsp")) {
                replacement = QString(QChar(0xA0));
            }
        }
        if (replacement.isEmpty()) {
            out += u'&';
            from = amp + 1;
        } else {
            out += replacement;
            from = semi + 1;
        }
        amp = value.indexOf(u'&', from);
    }
    out += QStringView(value).mid(from);
    return out;
}

QString ModernMarkup::RemoveDotSegments(const QString& path) {
    return UrlResolve::RemoveDotSegments(path);
}

QString ModernMarkup::MovieKey(const QString& url) {
    QString u = DecodeEntities(url);
    const qsizetype hash = u.indexOf(u'#');
    if (hash >= 0) u.truncate(hash);
    const qsizetype schemeEnd = u.indexOf(QLatin1String("://"));
    if (schemeEnd < 0) return u;
    qsizetype authorityEnd = schemeEnd + 3;
    while (authorityEnd < u.size() && u.at(authorityEnd) != u'/' && u.at(authorityEnd) != u'?')
        ++authorityEnd;
    const qsizetype query = u.indexOf(u'?', authorityEnd);
    const QString path = u.mid(authorityEnd, query < 0 ? -1 : query - authorityEnd);
    return u.left(authorityEnd).toLower() + RemoveDotSegments(path) +
           (query < 0 ? QString() : u.mid(query));
}

QString ModernMarkup::Resolve(const QString& reference, const QString& base) {
    return UrlResolve::Resolve(reference, base, UrlResolve::BrowserRules());
}
