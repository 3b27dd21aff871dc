#include "engine/ReferrerRule.h"

#include "engine/UrlParts.h"

namespace {

// The address as a referrer carries it: no fragment, no login.
QString WithoutLoginAndFragment(const UrlParts& u) {
    return u.Scheme + QStringLiteral("://") + u.Authority + u.Path;
}

}  // namespace

QString ReferrerRule::For(const QString& page, const QString& target) {
    UrlParts from, to;
    const UrlParts::Rules rules = UrlParts::PageRules();
    if (!from.Split(page.trimmed(), rules) || !to.Split(target.trimmed(), rules)) return QString();
    if (from.Secure && !to.Secure) return QString();
    if (from.SameServerAs(to)) return WithoutLoginAndFragment(from);
    return from.Scheme + QStringLiteral("://") + from.Authority + QStringLiteral("/");
}
