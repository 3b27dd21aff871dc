#include "newjob/UrlFileName.h"

QString FileNameFromUrl(const QString& url) {
    QString path = url;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return QString();
    return path.mid(slash + 1);
}

QString FileNameNoQuery(const QString& url) {
    const QString name = FileNameFromUrl(url);
    const qsizetype query = name.indexOf(QLatin1Char('?'));
    return query < 0 ? name : name.left(query);
}

QString UrlFromClipboardText(const QString& clipboardText) {
    if (clipboardText.left(7).compare(QLatin1String("http://"), Qt::CaseInsensitive) == 0)
        return clipboardText;
    return QString();
}
