#include "engine/UrlResolve.h"

#include <QStringList>

namespace UrlResolve {

namespace {

bool IsAsciiLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

// The scheme of a reference ("http", "mailto" ...), lower case; empty when it has none.
QString SchemeOf(const QString& reference) {
    if (reference.isEmpty() || !IsAsciiLetter(reference.at(0))) return QString();
    for (qsizetype i = 1; i < reference.size(); ++i) {
        const QChar c = reference.at(i);
        if (c == u':') return reference.left(i).toLower();
        if (!IsAsciiLetter(c) && !c.isDigit() && c != u'+' && c != u'-' && c != u'.')
            return QString();
    }
    return QString();
}

// The reference without leading and trailing blanks and control characters.
QString TrimReference(const QString& reference) {
    qsizetype from = 0, to = reference.size();
    while (from < to && reference.at(from).unicode() <= 0x20) ++from;
    while (to > from && reference.at(to - 1).unicode() <= 0x20) --to;
    return reference.mid(from, to - from);
}

QString ResolveLikePages(const QString& ref, const QString& base, const Rules& rules) {
    if (ref.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
        (rules.HttpsIsAbsolute && ref.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)))
        return ref;
    const qsizetype schemeEnd = base.indexOf(QLatin1String("://"));
    if (rules.SchemeRelative && ref.startsWith(QLatin1String("//")))
        return base.left(schemeEnd < 0 ? 0 : schemeEnd) + u':' + ref;
    if (ref.startsWith(u'/')) {
        const qsizetype slash = base.indexOf(u'/', schemeEnd < 0 ? 0 : schemeEnd + 3);
        return (slash < 0 ? base : base.left(slash)) + ref;
    }
    return base + ref;
}

QString ResolveLikeBrowsers(const QString& reference, const QString& base) {
    QString ref = TrimReference(reference);
    const qsizetype hash = ref.indexOf(u'#');
    if (hash >= 0) ref.truncate(hash);
    if (ref.isEmpty()) return QString();

    const QString scheme = SchemeOf(ref);
    if (!scheme.isEmpty()) {
        if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) return QString();
        if (QStringView(ref).mid(scheme.size() + 1, 2) != QLatin1String("//")) return QString();
        return ref;
    }

    // The base: scheme "://" authority, then its path and query (its fragment is no part of it).
    const qsizetype schemeEnd = base.indexOf(QLatin1String("://"));
    if (schemeEnd < 0) return QString();
    qsizetype authorityEnd = schemeEnd + 3;
    while (authorityEnd < base.size() && base.at(authorityEnd) != u'/' &&
           base.at(authorityEnd) != u'?' && base.at(authorityEnd) != u'#')
        ++authorityEnd;
    const QString baseScheme = base.left(schemeEnd).toLower();
    const QString origin = base.left(authorityEnd);
    QString basePath = base.mid(authorityEnd);
    const qsizetype baseFragment = basePath.indexOf(u'#');
    if (baseFragment >= 0) basePath.truncate(baseFragment);
    const qsizetype baseQuery = basePath.indexOf(u'?');
    if (baseQuery >= 0) basePath.truncate(baseQuery);
    if (basePath.isEmpty()) basePath = QStringLiteral("/");

    // In web addresses "\" stands for "/" before the query.
    const qsizetype query = ref.indexOf(u'?');
    QString refPath = query < 0 ? ref : ref.left(query);
    const QString refQuery = query < 0 ? QString() : ref.mid(query);
    refPath.replace(u'\\', u'/');

    if (refPath.startsWith(QLatin1String("//"))) return baseScheme + u':' + refPath + refQuery;
    if (refPath.isEmpty()) return origin + basePath + refQuery;  // "?query" only
    if (refPath.startsWith(u'/')) return origin + RemoveDotSegments(refPath) + refQuery;
    const QString merged = basePath.left(basePath.lastIndexOf(u'/') + 1) + refPath;
    return origin + RemoveDotSegments(merged) + refQuery;
}

}  // namespace

QString Resolve(const QString& reference, const QString& base, const Rules& rules) {
    return rules.Browser ? ResolveLikeBrowsers(reference, base)
                         : ResolveLikePages(reference, base, rules);
}

QString RemoveDotSegments(const QString& path) {
    QStringList output;
    const QStringList segments = path.split(u'/');
    // segments[0] is what stands before the first "/" (empty for an absolute path).
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const QString& s = segments.at(i);
        const bool last = i == segments.size() - 1;
        if (s == QLatin1String(".")) {
            if (last) output.append(QString());
        } else if (s == QLatin1String("..")) {
            if (output.size() > 1) output.removeLast();
            if (last) output.append(QString());
        } else {
            output.append(s);
        }
    }
    QString result = output.join(u'/');
    if (path.startsWith(u'/') && !result.startsWith(u'/')) result.prepend(u'/');
    return result;
}

QString RedirectTarget(const QString& location, const QString& base) {
    if (location.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
        location.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        return location;
    const QString target = Resolve(location, base, BrowserRules());
    return target.isEmpty() ? location : target;
}

}  // namespace UrlResolve
