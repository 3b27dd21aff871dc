#pragma once
// The Flash movies of a page written the way pages have been written since the OBJECT/EMBED
// blocks with a closing tag went out of use:
//   - <embed src=...> with or without a closing tag, when src ends in ".swf" (before any query)
//     or its type is application/x-shockwave-flash;
//   - <object data=...> and <param name="movie"|"src" value=...> inside any OBJECT;
//   - swfobject.embedSWF("x.swf", ...) and new SWFObject("x.swf", ...) in scripts.
// Attribute values may be in double quotes, single quotes or none, in any letter case and
// spacing; character references (&amp; ...) are decoded; references are resolved against the
// page (or its <base href>) as a browser resolves them.
//
// The page is walked once, in steps of bounded size, so a long page never holds up the event
// loop:
//
//   ModernMarkup scan(pageText, lowerText, "https://host:8443/dir/page.htm");
//   while (scan.Step()) { /* let other events run */ }
//   for (const QString& url : scan.Movies()) ...   // absolute, in page order, no repeats

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class ModernMarkup {
public:
    ModernMarkup() = default;
    // text: the page text; lower: the same text with A-Z lowered (same length and positions);
    // pageUrl: the page's absolute http:// or https:// address.
    ModernMarkup(const QString& text, const QString& lower, const QString& pageUrl);

    // Walks the next part of the page; false once the whole page has been walked.
    bool Step();
    // The movies found so far: absolute URLs in page order, each once.
    const QStringList& Movies() const { return movies; }

    // The absolute http(s) URL of a reference on a page whose (base) address is base, resolved
    // as a browser does ("../", "./", "//host/path", "/path", "?query"; the fragment dropped).
    // An absolute http:// or https:// reference is kept as it is written. Empty for an empty
    // reference, a bare fragment, or another scheme (mailto:, javascript:, ftp:, data: ...).
    static QString Resolve(const QString& reference, const QString& base);
    // Decodes character references: &amp; &lt; &gt; &quot; &apos; &nbsp; and numeric ones
    // (&#38; &#x26;). Anything else stays as written.
    static QString DecodeEntities(const QString& value);
    // RFC 3986 removal of "." and ".." segments from a path.
    static QString RemoveDotSegments(const QString& path);
    // What two addresses of the same movie have in common however the page wrote them:
    // references decoded, no fragment, no dot segments, scheme and host in lower case.
    static QString MovieKey(const QString& url);

private:
    struct Attribute {
        QString name;  // lower case
        QString value;
    };
    struct Tag {
        QString name;  // lower case
        QList<Attribute> attributes;
        qsizetype end = 0;  // index after the closing ">"
        QString Value(const QString& attributeName) const;
        bool Has(const QString& attributeName) const;
    };

    // Parses the tag whose "<" is at p. Attributes are collected only when collect is true.
    Tag ParseTag(qsizetype p, bool collect) const;
    void FindBase();
    void TakeTag(const Tag& tag);
    void ScanScript(qsizetype from, qsizetype to);
    // Reads a script string literal at i (after blanks); empty when there is none.
    QString ScriptString(qsizetype i, qsizetype to) const;
    void Add(const QString& reference);

    QString text;
    QString lower;
    QString base;
    qsizetype pos = 0;
    bool baseFound = false;
    // One entry per open OBJECT: whether it declares itself a Flash movie.
    QList<bool> objects;
    QStringList movies;
    QSet<QString> seen;
};
