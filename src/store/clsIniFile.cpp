#include "store/clsIniFile.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "store/AtomicFile.h"

namespace {

bool SameName(const QString& a, const QString& b) {
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// The name of a "[name]" line; false for any other line.
bool SectionName(const QString& line, QString* name) {
    const QString t = line.trimmed();
    if (!t.startsWith(u'[')) return false;
    qsizetype close = t.indexOf(u']', 1);
    if (close < 0) close = t.size();
    *name = t.mid(1, close - 1).trimmed();
    return true;
}

// Key and value of a "key=value" line; false for blank lines, comments and lines without "=".
bool KeyLine(const QString& line, QString* key, QString* value) {
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'[')) return false;
    const qsizetype eq = t.indexOf(u'=');
    if (eq <= 0) return false;
    *key = t.left(eq).trimmed();
    if (key->isEmpty()) return false;
    if (value) *value = t.mid(eq + 1).trimmed();
    return true;
}

bool HasLineBreak(const QString& s) {
    return s.contains(u'\n') || s.contains(u'\r');
}

}  // namespace

void clsIniFile::SetFileName(const QString& path) {
    fileName = path;
    loaded = false;
    lines.clear();
}

clsIniFile::Signature clsIniFile::Stat() const {
    Signature s;
    struct stat st {};
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0) return s;
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.mtimeSec = st.st_mtim.tv_sec;
    s.mtimeNsec = st.st_mtim.tv_nsec;
    return s;
}

void clsIniFile::Load() {
    // Pending changes of an update are the truth until they are written.
    if (updateDepth > 0 && loaded) return;
    const Signature now = Stat();
    if (loaded && now == signature) return;
    lines.clear();
    diskBytes.clear();
    unreadable = false;
    signature = now;
    loaded = true;
    if (!now.exists) return;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        // Writing now would replace sections we could not see.
        unreadable = true;
        return;
    }
    diskBytes = file.readAll();
    QString text = QString::fromUtf8(diskBytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    lines = text.split(u'\n');
    // The split leaves one empty element after the final line break.
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
}

bool clsIniFile::Commit() {
    if (updateDepth > 0) {
        dirty = true;
        return true;
    }
    dirty = false;
    QString text;
    for (const QString& line : lines) {
        text += line;
        text += u'\n';
    }
    const QByteArray bytes = text.toUtf8();
    // The file already holds exactly these bytes: nothing to write.
    if (signature.exists && bytes == diskBytes && Stat() == signature) return true;
    if (fileName.isEmpty() || unreadable) {
        lastError = fileName.isEmpty() ? QStringLiteral("no file name")
                                       : QStringLiteral("the file could not be read");
        loaded = false;
        return false;
    }
    const QFileInfo info(fileName);
    QDir().mkpath(info.absolutePath());
    if (!AtomicFile::Write(fileName, bytes, &lastError)) {
        // The file on disk is unchanged; read it again next time.
        loaded = false;
        return false;
    }
    lastError.clear();
    diskBytes = bytes;
    signature = Stat();
    return true;
}

int clsIniFile::FindSection(const QString& section, int* end) {
    Load();
    int begin = -1;
    QString name;
    for (int i = 0; i < lines.size(); ++i) {
        if (!SectionName(lines.at(i), &name)) continue;
        if (begin >= 0) {
            *end = i;
            return begin;
        }
        if (SameName(name, section)) begin = i;
    }
    *end = static_cast<int>(lines.size());
    return begin;
}

int clsIniFile::FindKey(int begin, int end, const QString& key, QString* value) const {
    QString k;
    for (int i = begin + 1; i < end; ++i)
        if (KeyLine(lines.at(i), &k, value) && SameName(k, key)) return i;
    return -1;
}

bool clsIniFile::DeleteSection(const QString& section) {
    int end = 0;
    const int begin = FindSection(section, &end);
    if (begin < 0) return true;
    lines.erase(lines.begin() + begin, lines.begin() + end);
    return Commit();
}

bool clsIniFile::SaveSetting(const QString& section, const QString& key, const QString& value) {
    const QString k = key;
    if (k.trimmed().isEmpty() || k.contains(u'=') || HasLineBreak(k)) return false;
    if (section.trimmed().isEmpty() || section.contains(u']') || HasLineBreak(section))
        return false;
    QString v = value;
    v.replace(u'\r', u' ');
    v.replace(u'\n', u' ');
    const QString line = k + u'=' + v;

    int end = 0;
    const int begin = FindSection(section, &end);
    if (begin < 0) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines.append(QString());
        lines.append(u'[' + section.trimmed() + u']');
        lines.append(line);
        return Commit();
    }
    const int at = FindKey(begin, end, key, nullptr);
    if (at >= 0) {
        // The same line again: nothing to write.
        if (lines.at(at) == line) return true;
        lines[at] = line;
    } else {
        // After the section's last non-blank line, so the blank line before the next section stays.
        int insert = end;
        while (insert > begin + 1 && lines.at(insert - 1).trimmed().isEmpty()) --insert;
        lines.insert(insert, line);
    }
    return Commit();
}

QString clsIniFile::GetSetting(const QString& section, const QString& key) {
    int end = 0;
    const int begin = FindSection(section, &end);
    if (begin < 0) return MissingValue;
    QString value;
    if (FindKey(begin, end, key, &value) < 0) return MissingValue;
    if (value.isEmpty()) return EmptyValue;
    return value.left(kMaxValueChars);
}

bool clsIniFile::ReadValue(const QString& section, const QString& key, QString* value) {
    int end = 0;
    const int begin = FindSection(section, &end);
    QString v;
    if (begin < 0 || FindKey(begin, end, key, &v) < 0) return false;
    if (value) *value = v;
    return true;
}

QStringList clsIniFile::KeyNames(const QString& section) {
    QStringList names;
    int end = 0;
    const int begin = FindSection(section, &end);
    if (begin < 0) return names;
    QString k;
    for (int i = begin + 1; i < end; ++i)
        if (KeyLine(lines.at(i), &k, nullptr)) names.append(k);
    return names;
}

int16_t clsIniFile::GetSection(const QString& section, QStringList& names) {
    names.clear();
    // The names as the profile call hands them over: each followed by a zero character, the
    // list by one more; when that does not fit, the text is cut and two zeros end it.
    QString buffer;
    for (const QString& name : KeyNames(section)) {
        buffer += name;
        buffer += QChar(0);
    }
    if (buffer.size() + 1 > kSectionBufferChars) buffer.truncate(kSectionBufferChars - 2);
    for (const QString& part : buffer.split(QChar(0), Qt::SkipEmptyParts)) {
        if (names.size() >= 32767) break;
        names.append(part);
    }
    return static_cast<int16_t>(names.size());
}

bool clsIniFile::SectionExists(const QString& section) {
    int end = 0;
    return FindSection(section, &end) >= 0;
}

bool clsIniFile::CreateSection(const QString& section) {
    if (section.trimmed().isEmpty() || section.contains(u']') || HasLineBreak(section))
        return false;
    if (SectionExists(section)) return true;
    if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines.append(QString());
    lines.append(u'[' + section.trimmed() + u']');
    return Commit();
}

void clsIniFile::BeginUpdate() {
    Load();
    ++updateDepth;
}

bool clsIniFile::EndUpdate() {
    if (updateDepth == 0) return true;
    if (--updateDepth > 0) return true;
    if (!dirty) return true;
    return Commit();
}
