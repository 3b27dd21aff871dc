#pragma once
// File names taken out of URLs, and the clipboard rule of the new-job dialog.

#include <QString>

// Everything after the last "/" of url ("\" counts as "/"); empty when there is no "/".
QString FileNameFromUrl(const QString& url);

// FileNameFromUrl cut before its first "?".
QString FileNameNoQuery(const QString& url);

// The clipboard text when it starts with "http://" in any letter case, else an empty string.
QString UrlFromClipboardText(const QString& clipboardText);
