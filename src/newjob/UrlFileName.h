#pragma once
// File names taken out of URLs, the clipboard rule of the new-job dialog, and why an address
// typed into it cannot be used.

#include <QString>

// Everything after the last "/" of url ("\" counts as "/"), its escapes decoded as
// LocalPath::DecodedName decodes them; empty when there is no "/".
QString FileNameFromUrl(const QString& url);

// FileNameFromUrl cut before its first "?".
QString FileNameNoQuery(const QString& url);

// The clipboard text when it starts with "http://" or "https://" in any letter case, else an
// empty string.
QString UrlFromClipboardText(const QString& clipboardText);

// The address without a login written into it ("user:pass@"), for showing it.
QString WithoutLogin(const QString& url);

// Why a download address cannot be split into host, port and path (a sentence for the user),
// or an empty string when the download engine takes it.
QString DownloadUrlProblem(const QString& url);

// Why a page address cannot be fetched by the page analyser, or an empty string when it can.
QString PageUrlProblem(const QString& url);
