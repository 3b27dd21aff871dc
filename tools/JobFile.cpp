#include "JobFile.h"

#include <QFile>
#include <QList>

#include "store/JobDbFormat.h"

namespace {

const QByteArray kMagic = "QVJOB-EXTRA ";
const QByteArray kVersion = "1";
const QByteArray kEnd = "end";

void AddLine(QByteArray& out, const char* key, const QString& value) {
    out += key;
    out += '=';
    out += value.toUtf8().toPercentEncoding();
    out += '\n';
}

bool Fail(QString* why, const QString& text) {
    if (why) *why = text;
    return false;
}

}  // namespace

QByteArray JobFile::ToBytes() const {
    QByteArray out;
    JobDbFormat::WriteJob(out, Record);
    out += kMagic + kVersion + '\n';
    AddLine(out, "url", CommandUrl);
    AddLine(out, "job-url", Record.Url);
    AddLine(out, "etag", Validator.ETag);
    AddLine(out, "last-modified", Validator.LastModified);
    if (!PendingFile.isEmpty()) AddLine(out, "pending-file", PendingFile);
    out += kEnd + '\n';
    return out;
}

bool JobFile::FromBytes(const QByteArray& bytes, QString* why) {
    JobDbFormat::Reader reader(bytes);
    JobRecord record;
    if (!reader.ReadJob(record)) return Fail(why, QStringLiteral("the record is cut short"));
    if (record.Parts < 1 || record.Parts > kMaxParts || record.LocalFile.isEmpty() ||
        record.FileSize < 0 || record.Received < 0)
        return Fail(why, QStringLiteral("the record holds impossible values"));

    QString commandUrl = record.Url;
    JobValidator validator;
    QString pending;
    if (!reader.AtEnd()) {
        const QByteArray rest = bytes.mid(reader.Position());
        const qsizetype firstBreak = rest.indexOf('\n');
        const QByteArray magicLine = rest.left(firstBreak);
        if (!magicLine.startsWith(kMagic))
            return Fail(why, QStringLiteral("unknown bytes follow the record"));
        if (magicLine != kMagic + kVersion)
            return Fail(why, QStringLiteral("it was written by a newer quorvanta-get"));
        if (!rest.endsWith('\n' + kEnd + '\n'))
            return Fail(why, QStringLiteral("the text after the record is cut short"));
        const QList<QByteArray> lines =
            rest.mid(firstBreak + 1).chopped(kEnd.size() + 2).split('\n');
        bool haveUrl = false;
        for (const QByteArray& line : lines) {
            const qsizetype eq = line.indexOf('=');
            if (eq <= 0) return Fail(why, QStringLiteral("a line after the record has no value"));
            const QByteArray key = line.left(eq);
            const QString value =
                QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(eq + 1)));
            if (key == "url") {
                commandUrl = value;
                haveUrl = true;
            } else if (key == "job-url") {
                record.Url = value;
            } else if (key == "etag") {
                validator.ETag = value;
            } else if (key == "last-modified") {
                validator.LastModified = value;
            } else if (key == "pending-file") {
                pending = value;
            }
        }
        if (!haveUrl || commandUrl.isEmpty())
            return Fail(why, QStringLiteral("the URL after the record is missing"));
    }
    Record = record;
    CommandUrl = commandUrl;
    Validator = validator;
    PendingFile = pending;
    return true;
}

JobFile::ReadResult JobFile::Read(const QString& path, QString* why) {
    QFile file(path);
    if (!file.exists()) return ReadResult::Missing;
    if (!file.open(QIODevice::ReadOnly)) {
        if (why) *why = file.errorString();
        return ReadResult::Bad;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (why) *why = file.errorString();
        return ReadResult::Bad;
    }
    return FromBytes(bytes, why) ? ReadResult::Ok : ReadResult::Bad;
}
