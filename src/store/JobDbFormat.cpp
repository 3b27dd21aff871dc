#include "store/JobDbFormat.h"

#include <QtEndian>
#include <cstring>

namespace JobDbFormat {

namespace {

template <typename T>
void WriteRaw(QByteArray& out, T value) {
    char buf[sizeof(T)];
    qToLittleEndian(value, buf);
    out.append(buf, sizeof(T));
}

void WriteDouble(QByteArray& out, double value) {
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    WriteRaw<quint64>(out, bits);
}

void WriteFloat(QByteArray& out, float value) {
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    WriteRaw<quint32>(out, bits);
}

}  // namespace

void WriteString(QByteArray& out, const QString& text) {
    // Most texts are plain ASCII: copy them straight into the output without a UTF-8 copy.
    const qsizetype n = text.size();
    if (n <= 65535) {
        const ushort* chars = text.utf16();
        qsizetype i = 0;
        while (i < n && chars[i] < 0x80) ++i;
        if (i == n) {
            WriteRaw<quint16>(out, static_cast<quint16>(n));
            const qsizetype at = out.size();
            out.resize(at + n);
            char* dest = out.data() + at;
            for (qsizetype k = 0; k < n; ++k) dest[k] = static_cast<char>(chars[k]);
            return;
        }
    }
    QByteArray utf8 = text.toUtf8();
    if (utf8.size() > 65535) {
        qsizetype cut = 65535;
        // Step back over continuation bytes so no character is split.
        while (cut > 0 && (static_cast<unsigned char>(utf8.at(cut)) & 0xC0) == 0x80) --cut;
        utf8.truncate(cut);
    }
    WriteRaw<quint16>(out, static_cast<quint16>(utf8.size()));
    out.append(utf8);
}

void WriteCategory(QByteArray& out, const CategoryRecord& r) {
    WriteString(out, r.ParentKey);
    WriteString(out, r.Key);
    WriteString(out, r.Text);
    WriteString(out, r.Folder);
}

void WriteJob(QByteArray& out, const JobRecord& r) {
    WriteString(out, r.ClassKey);
    WriteRaw<qint32>(out, r.State);
    WriteString(out, r.Referer);
    WriteRaw<qint16>(out, r.CanResume);
    WriteString(out, r.Comment);
    WriteString(out, r.LocalFile);
    WriteString(out, r.FileName);
    WriteRaw<qint16>(out, r.IsNew);
    WriteRaw<qint16>(out, r.FileOpen);
    WriteRaw<qint32>(out, r.FileNo);
    WriteString(out, r.Spare);
    WriteRaw<qint32>(out, r.FileSize);
    WriteRaw<qint32>(out, r.Received);
    WriteRaw<qint16>(out, r.Parts);
    WriteString(out, r.Url);
    WriteString(out, r.Host);
    WriteString(out, r.Path);
    WriteRaw<quint16>(out, r.Port);
    WriteRaw<qint16>(out, r.UseProxy);
    WriteString(out, r.ProxyHost);
    WriteRaw<quint16>(out, r.ProxyPort);
    WriteRaw<qint16>(out, r.UseLogin);
    WriteString(out, r.UserName);
    WriteString(out, r.Password);
    WriteString(out, r.UserAgent);
    for (int k = 1; k <= kMaxParts; ++k) {
        WriteRaw<qint32>(out, r.Segments[k].StartPos);
        WriteRaw<qint32>(out, r.Segments[k].CurPos);
        WriteRaw<qint32>(out, r.Segments[k].EndPos);
    }
    WriteDouble(out, r.CreateTime);
    WriteDouble(out, r.CompleteTime);
    WriteDouble(out, r.TimeElapsed);
    WriteDouble(out, r.RunStart);
    WriteDouble(out, r.RunTime);
    WriteFloat(out, r.AvgSpeed);
    WriteRaw<qint32>(out, r.Reserved);
}

template <typename T>
bool Reader::ReadRaw(T& value) {
    if (bytes.size() - pos < static_cast<qsizetype>(sizeof(T))) return false;
    value = qFromLittleEndian<T>(bytes.constData() + pos);
    pos += sizeof(T);
    return true;
}

bool Reader::ReadString(QString& text) {
    const qsizetype start = pos;
    quint16 n = 0;
    if (!ReadRaw(n)) return false;
    if (bytes.size() - pos < n) {
        pos = start;
        return false;
    }
    text = QString::fromUtf8(bytes.constData() + pos, n);
    pos += n;
    return true;
}

bool Reader::ReadCategory(CategoryRecord& r) {
    const qsizetype start = pos;
    if (ReadString(r.ParentKey) && ReadString(r.Key) && ReadString(r.Text) && ReadString(r.Folder))
        return true;
    pos = start;
    return false;
}

bool Reader::ReadJob(JobRecord& r) {
    const qsizetype start = pos;
    auto readDouble = [this](double& v) {
        quint64 bits;
        if (!ReadRaw(bits)) return false;
        std::memcpy(&v, &bits, sizeof v);
        return true;
    };
    auto readFloat = [this](float& v) {
        quint32 bits;
        if (!ReadRaw(bits)) return false;
        std::memcpy(&v, &bits, sizeof v);
        return true;
    };
    bool ok = ReadString(r.ClassKey) && ReadRaw(r.State) && ReadString(r.Referer) &&
              ReadRaw(r.CanResume) && ReadString(r.Comment) && ReadString(r.LocalFile) &&
              ReadString(r.FileName) && ReadRaw(r.IsNew) && ReadRaw(r.FileOpen) &&
              ReadRaw(r.FileNo) && ReadString(r.Spare) && ReadRaw(r.FileSize) &&
              ReadRaw(r.Received) && ReadRaw(r.Parts) && ReadString(r.Url) && ReadString(r.Host) &&
              ReadString(r.Path) && ReadRaw(r.Port) && ReadRaw(r.UseProxy) &&
              ReadString(r.ProxyHost) && ReadRaw(r.ProxyPort) && ReadRaw(r.UseLogin) &&
              ReadString(r.UserName) && ReadString(r.Password) && ReadString(r.UserAgent);
    for (int k = 1; ok && k <= kMaxParts; ++k)
        ok = ReadRaw(r.Segments[k].StartPos) && ReadRaw(r.Segments[k].CurPos) &&
             ReadRaw(r.Segments[k].EndPos);
    ok = ok && readDouble(r.CreateTime) && readDouble(r.CompleteTime) &&
         readDouble(r.TimeElapsed) && readDouble(r.RunStart) && readDouble(r.RunTime) &&
         readFloat(r.AvgSpeed) && ReadRaw(r.Reserved);
    if (!ok) pos = start;
    return ok;
}

}  // namespace JobDbFormat
