#pragma once
// Turns a reference found on a page (or in a Location header) into an absolute address.
//
// Two ways, chosen by Rules:
// - page rules (Browser off), the old analyser's simple joins: base is the page's folder
//   address ("http://host[:port]/dir/") used as written. An absolute reference stays as written
//   ("http://" in any case; "https://" too with HttpsIsAbsolute); "//host/x" takes the base's
//   scheme with SchemeRelative (else it is a path like "/x"); "/x" goes after the base's
//   scheme and host; anything else after the whole base. No dot segments are removed and
//   nothing is refused.
// - browser rules (Browser on), as a browser resolves: base is the page's (or <base href>'s)
//   address; blanks and controls around the reference and its fragment are dropped, "\" stands
//   for "/" before the query, "." and ".." segments are removed, "?query" keeps the base's path,
//   "//host/x" takes the base's scheme. Empty for an empty reference, a bare fragment, another
//   scheme than http and https (mailto:, javascript:, data: ...) or "http:" without "//".

#include <QString>

namespace UrlResolve {

struct Rules {
    bool Browser = false;
    bool HttpsIsAbsolute = true;
    bool SchemeRelative = true;
};

// The analyser's rules for an http:// page of old: only "http://" is absolute.
inline Rules OldPageRules() {
    return {false, false, false};
}
// The analyser's rules for a page in either scheme; the movie finder's without SchemeRelative.
inline Rules PageRules(bool schemeRelative = true) {
    return {false, true, schemeRelative};
}
inline Rules BrowserRules() {
    return {true, true, true};
}

QString Resolve(const QString& reference, const QString& base, const Rules& rules);

// Where a redirect's Location leads from base: an http(s) address as it stands, a reference
// resolved as browsers do; another scheme is no reference to resolve and stays as it is.
QString RedirectTarget(const QString& location, const QString& base);

// RFC 3986 removal of "." and ".." segments from a path.
QString RemoveDotSegments(const QString& path);

}  // namespace UrlResolve
