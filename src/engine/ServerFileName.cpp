#include "engine/ServerFileName.h"

#include <QStringList>

#include "engine/HttpHead.h"
#include "store/JobRecord.h"
#include "store/LocalPath.h"

namespace {

// The parameters of a header value ("attachment; filename="a;b.swf"; x=1"), names in small
// letters, quoted values unquoted.
QList<std::pair<QString, QString>> Parameters(const QString& value) {
    QList<std::pair<QString, QString>> out;
    qsizetype i = value.indexOf(QLatin1Char(';'));
    while (i >= 0 && i < value.size()) {
        ++i;
        const qsizetype eq = value.indexOf(QLatin1Char('='), i);
        if (eq < 0) break;
        const QString name = value.mid(i, eq - i).trimmed().toLower();
        qsizetype j = eq + 1;
        while (j < value.size() && value.at(j) == QLatin1Char(' ')) ++j;
        QString text;
        if (j < value.size() && value.at(j) == QLatin1Char('"')) {
            for (++j; j < value.size() && value.at(j) != QLatin1Char('"'); ++j) {
                if (value.at(j) == QLatin1Char('\\') && j + 1 < value.size()) ++j;
                text += value.at(j);
            }
            i = value.indexOf(QLatin1Char(';'), j);
        } else {
            const qsizetype end = value.indexOf(QLatin1Char(';'), j);
            text = value.mid(j, end < 0 ? -1 : end - j).trimmed();
            i = end;
        }
        out.append({name, text});
    }
    return out;
}

// The last part of a name a server wrote, kept to the rules of every name.
QString Safe(const QString& name) {
    QString n = name;
    n.replace(QLatin1Char('\\'), QLatin1Char('/'));
    n = n.mid(n.lastIndexOf(QLatin1Char('/')) + 1).trimmed();
    for (const QChar c : n)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return QString();
    // No hidden file from a server's word (".bashrc", ".profile" in a home folder): its leading
    // dots go, as browsers drop them; "." and ".." leave nothing.
    while (n.startsWith(QLatin1Char('.'))) n.remove(0, 1);
    return n;
}

bool SaysNothing(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == name.size() - 1) return true;
    static const QStringList scripts{"php", "php3", "php4", "php5", "asp", "aspx", "jsp",
                                     "cgi", "pl",   "py",   "cfm",  "dll", "do",   "action"};
    return scripts.contains(name.mid(dot + 1).toLower());
}

}  // namespace

QString ServerFileName::FromDisposition(const QString& value) {
    QString plain, extended;
    for (const auto& [name, text] : Parameters(value)) {
        if (name == QLatin1String("filename*")) {
            // charset'language'escaped bytes
            const QStringList parts = text.split(QLatin1Char('\''));
            if (parts.size() != 3) continue;
            const QString charset = parts[0].toLower();
            if (charset == QLatin1String("utf-8")) {
                extended = LocalPath::DecodedName(parts[2]);
            } else if (charset == QLatin1String("iso-8859-1")) {
                extended =
                    QString::fromLatin1(QByteArray::fromPercentEncoding(parts[2].toLatin1()));
            }
        } else if (name == QLatin1String("filename")) {
            plain = text;
        }
    }
    // The extended form wins where the server gives both.
    const QString chosen = Safe(extended);
    return chosen.isEmpty() ? Safe(plain) : chosen;
}

QString ServerFileName::For(const JobRecord& job, const QString& head) {
    const QString current = LocalPath::FileNamePart(job.LocalFile);
    // A name the user chose stays.
    if (current != LocalPath::NameFromAddress(job.Url) || !SaysNothing(current)) return QString();
    const QString given =
        FromDisposition(HttpHead::Value(head, QStringLiteral("Content-Disposition")));
    if (given.isEmpty() || given == current) return QString();
    return LocalPath::FolderPart(job.LocalFile) + given;
}
