#pragma once
// What a browser sends as the referrer when a page leads to another address (its default rule,
// "strict origin when cross origin"): the whole page address (without fragment or login) to the
// same scheme, host and port; only the page's origin ("https://host:port/") to another; nothing
// from an https page to an http address, nor from an address that is no web page.

#include <QString>

class ReferrerRule {
public:
    static QString For(const QString& page, const QString& target);
};
