#include "pages/SearchFile.h"

#include <QDataStream>
#include <QFileInfo>

#include "store/JobDbFormat.h"

namespace SearchFile {
namespace {

constexpr quint32 kMagic = 0x51565331;  // "QVS1"
constexpr quint16 kFormat = 1;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_0;

void Write(QDataStream& out, const SearchRecord& r) {
    QByteArray job;
    JobDbFormat::WriteJob(job, r.JobTemplate);
    out << qint32(r.SearchState) << qint32(r.Depth) << r.LinkedFrom << r.Unused2 << r.PageName
        << qint32(r.PageSize) << qint32(r.PageReceived) << r.PageUrl << r.PagePath << r.PageDir
        << r.StartUrl << r.PageHost << quint16(r.PagePort) << qint16(r.UseProxy) << r.ProxyHost
        << quint16(r.ProxyPort) << qint16(r.UseLogin) << r.UserName << r.Password << job
        << qint32(r.Reserved);
}

bool Read(QDataStream& in, SearchRecord& r) {
    QByteArray job;
    in >> r.SearchState >> r.Depth >> r.LinkedFrom >> r.Unused2 >> r.PageName >> r.PageSize >>
        r.PageReceived >> r.PageUrl >> r.PagePath >> r.PageDir >> r.StartUrl >> r.PageHost >>
        r.PagePort >> r.UseProxy >> r.ProxyHost >> r.ProxyPort >> r.UseLogin >> r.UserName >>
        r.Password >> job >> r.Reserved;
    if (in.status() != QDataStream::Ok) return false;
    JobDbFormat::Reader reader(job);
    return reader.ReadJob(r.JobTemplate) && reader.AtEnd();
}

// The row's texts as QDataStream writes a QStringList (a count, then the strings), the count
// bounded by what is left of the file: Qt's own reader sets room aside for the count first, and a
// damaged count made it ask for gigabytes. Every string takes at least its 4-byte length.
bool ReadTexts(QDataStream& in, QStringList& texts) {
    texts.clear();
    quint32 count = 0;
    in >> count;
    if (in.status() != QDataStream::Ok) return false;
    if (count > quint64(in.device()->bytesAvailable()) / 4) {
        in.setStatus(QDataStream::ReadCorruptData);
        return false;
    }
    texts.reserve(qsizetype(count));
    for (quint32 i = 0; i < count; ++i) {
        QString text;
        in >> text;
        if (in.status() != QDataStream::Ok) return false;
        texts << text;
    }
    return true;
}

}  // namespace

QString PathBeside(const QString& dbPath) {
    return QFileInfo(dbPath).path() + QStringLiteral("/searches.qvs");
}

QByteArray ToBytes(const std::vector<Entry>& entries) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << kMagic << kFormat << qint32(entries.size());
    for (const Entry& e : entries) {
        Write(out, e.record);
        out << e.icon << e.texts;
    }
    return bytes;
}

bool FromBytes(const QByteArray& bytes, std::vector<Entry>* entries) {
    entries->clear();
    QDataStream in(bytes);
    in.setVersion(kStreamVersion);
    quint32 magic = 0;
    quint16 format = 0;
    qint32 count = 0;
    in >> magic >> format >> count;
    if (in.status() != QDataStream::Ok || magic != kMagic || format != kFormat || count < 0)
        return false;
    for (qint32 k = 0; k < count; ++k) {
        Entry e;
        if (!Read(in, e.record)) return false;
        in >> e.icon;
        if (!ReadTexts(in, e.texts)) return false;
        entries->push_back(std::move(e));
    }
    return in.atEnd();
}

}  // namespace SearchFile
