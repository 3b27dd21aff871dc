#pragma once
// Splits an http:// or https:// address into what a connection and its request need.
//
//   UrlParts u;
//   if (u.Split(url, UrlParts::EngineRules())) connect to u.Host, u.Port; ask for u.Target(proxy)
//
// The download engine and the page analyser have always read addresses a little differently;
// Rules holds the differences:
// - blanks around the address: the engine ignores them (TrimBlanks), pages keep them;
// - scheme letters: the engine takes "HTTP://" in any case (AnyCaseScheme), pages only
//   "http://" and "https://" in lower case;
// - an address without a path ("http://host"): the engine refuses it (PathRequired), pages
//   read it as "http://host/";
// - the host name: the engine refuses one with blanks or control characters (PlainHost);
// - the absolute target a plain-HTTP request through a proxy asks for: the engine's has the
//   host without its port, the page analyser's "host:port" as written (ProxyTargetWithPort).
// Common to both: a fragment ("#...") is dropped; the host ends at the first "/" after the scheme,
// a ":" in it starts the port, which must be 1 to 65535 in ASCII digits; the default port is 80, or
// 443 for https.

#include <QString>
#include <cstdint>

class UrlParts {
public:
    struct Rules {
        bool TrimBlanks = false;
        bool AnyCaseScheme = false;
        bool PathRequired = false;
        bool PlainHost = false;
        bool ProxyTargetWithPort = false;
    };
    static Rules EngineRules() { return {true, true, true, true, false}; }
    static Rules PageRules() { return {false, false, false, false, true}; }

    // Fills the parts; false (parts unchanged) when the address cannot be fetched.
    bool Split(const QString& url, const Rules& rules);

    // The target of the request: Path, or through a proxy for plain HTTP the absolute address
    // (a secure address goes through the proxy as a tunnel and keeps the plain path).
    QString Target(bool viaProxy) const;

    bool Secure = false;
    QString Scheme;     // "http" or "https"
    QString Host;       // without the port
    QString Authority;  // host, or "host:port" when the address names a port
    uint16_t Port = 80;
    QString Path;      // from the first "/" after the host, query included
    QString FileName;  // after the last "/" of the address (query included)
    QString Dir;       // the path without its query up to and including its last "/"

private:
    bool proxyTargetWithPort = false;
};
