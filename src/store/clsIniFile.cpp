#include "store/clsIniFile.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "store/AtomicFile.h"

namespace {

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

// The form under which names are indexed and matched: without surrounding blanks, folded code
// point by code point as Qt's case-insensitive comparison folds them.
QString Fold(const QString& name) {
    QString out;
    const QString t = name.trimmed();
    out.reserve(t.size());
    for (qsizetype i = 0; i < t.size(); ++i) {
        char32_t c = t.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < t.size() && t.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(t.at(i), t.at(i + 1));
            ++i;
        }
        // A lone surrogate stays as it is.
        c = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(c)) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(static_cast<char16_t>(c));
        }
    }
    return out;
}

bool HasLineBreak(const QString& s) {
    return s.contains(u'\n') || s.contains(u'\r');
}

}  // namespace

void clsIniFile::SetFileName(const QString& path) {
    fileName = path;
    loaded = false;
    lines.clear();
    indexed = false;
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
    indexed = false;
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

void clsIniFile::Index() {
    Load();
    if (indexed) return;
    spans.clear();
    bySection.clear();
    QString name;
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        if (SectionName(line, &name)) {
            if (!spans.empty()) spans.back().end = i;
            spans.push_back({i, i + 1, {}});
            // The first section and the first key of a name win.
            const QString folded = Fold(name);
            if (!bySection.contains(folded))
                bySection.insert(folded, static_cast<int>(spans.size()) - 1);
            continue;
        }
        if (spans.empty() || !KeyLine(line, &name, nullptr)) continue;
        Span& span = spans.back();
        const QString folded = Fold(name);
        if (!span.keys.contains(folded)) span.keys.insert(folded, i - span.begin);
    }
    if (!spans.empty()) spans.back().end = static_cast<int>(lines.size());
    indexed = true;
}

clsIniFile::Span* clsIniFile::FindSpan(const QString& section) {
    Index();
    const auto it = bySection.constFind(Fold(section));
    return it == bySection.cend() ? nullptr : &spans[static_cast<size_t>(*it)];
}

int clsIniFile::FindSection(const QString& section, int* end) {
    const Span* span = FindSpan(section);
    *end = span ? span->end : static_cast<int>(lines.size());
    return span ? span->begin : -1;
}

int clsIniFile::FindKey(const Span* span, const QString& key, QString* value) const {
    if (!span) return -1;
    const auto it = span->keys.constFind(Fold(key));
    if (it == span->keys.cend()) return -1;
    const int line = span->begin + *it;
    if (value) {
        QString k;
        KeyLine(lines.at(line), &k, value);
    }
    return line;
}

void clsIniFile::AppendSection(const QString& section, const QString& line) {
    Index();
    if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines.append(QString());
    const int header = static_cast<int>(lines.size());
    lines.append(u'[' + section.trimmed() + u']');
    if (!spans.empty()) spans.back().end = header;
    Span span{header, header + 1, {}};
    QString name;
    if (!line.isEmpty()) {
        lines.append(line);
        span.end = header + 2;
        // A line that is no key line (see SaveSetting) is left to a new index.
        if (KeyLine(line, &name, nullptr))
            span.keys.insert(Fold(name), 1);
        else
            indexed = false;
    }
    spans.push_back(std::move(span));
    SectionName(lines.at(header), &name);
    bySection.insert(Fold(name), static_cast<int>(spans.size()) - 1);
}

bool clsIniFile::DeleteSection(const QString& section) {
    int end = 0;
    const int begin = FindSection(section, &end);
    if (begin < 0) return true;
    lines.erase(lines.begin() + begin, lines.begin() + end);
    indexed = false;
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

    Span* span = FindSpan(section);
    if (!span) {
        AppendSection(section, line);
        return Commit();
    }
    const int at = FindKey(span, key, nullptr);
    if (at >= 0) {
        // The same line again: nothing to write. The key's name is unchanged, so is the index.
        if (lines.at(at) == line) return true;
        lines[at] = line;
    } else {
        // After the section's last non-blank line, so the blank line before the next section stays.
        int insert = span->end;
        while (insert > span->begin + 1 && lines.at(insert - 1).trimmed().isEmpty()) --insert;
        lines.insert(insert, line);
        // A name such as "[x" or ";x" makes a line that is no key line: index anew.
        QString name;
        if (!KeyLine(line, &name, nullptr)) {
            indexed = false;
            return Commit();
        }
        // Only blank lines of this section follow the new line: no key of it moves, the later
        // sections move down by one.
        span->keys.insert(Fold(name), insert - span->begin);
        ++span->end;
        for (Span* later = span + 1; later != spans.data() + spans.size(); ++later) {
            ++later->begin;
            ++later->end;
        }
    }
    return Commit();
}

QString clsIniFile::GetSetting(const QString& section, const QString& key) {
    QString value;
    if (FindKey(FindSpan(section), key, &value) < 0) return MissingValue;
    if (value.isEmpty()) return EmptyValue;
    return value.left(kMaxValueChars);
}

bool clsIniFile::ReadValue(const QString& section, const QString& key, QString* value) {
    QString v;
    if (FindKey(FindSpan(section), key, &v) < 0) return false;
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
    AppendSection(section, QString());
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
