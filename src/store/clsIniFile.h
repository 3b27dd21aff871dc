#pragma once
// A sections-and-keys profile file ("[Section]" lines, "key=value" lines). Section and key names
// are matched without regard to case and without surrounding blanks; values lose their
// surrounding blanks. The first matching section and the first matching key win. Every write
// replaces the whole file atomically (a temporary file beside it, flushed, renamed over it), so a
// failed write leaves the previous file as it was; sections and lines the write does not touch
// stay as they were.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

class clsIniFile {
public:
    clsIniFile() = default;
    explicit clsIniFile(const QString& path) : fileName(path) {}

    // The file this object works on; set right after creation.
    void SetFileName(const QString& path);
    const QString& FileName() const { return fileName; }

    // Removes the section with all its keys. True when the file is as asked afterwards.
    bool DeleteSection(const QString& section);
    // Writes the key, creating section and key as needed. A line break in the value becomes a
    // blank; a key with "=" or a line break, or a section with "]" or a line break, is refused.
    bool SaveSetting(const QString& section, const QString& key, const QString& value);
    // At most 254 characters of the value. A missing key or section reads "unknown value"; a key
    // that is present with an empty value reads "Unknown section or key".
    QString GetSetting(const QString& section, const QString& key);
    // The key names of the section in file order (names[0] is the first) and their number; 0 when
    // the section is missing or empty. The names pass through a 2000-character buffer (each name
    // followed by a zero character, the list by one more), so a long list is cut short.
    int16_t GetSection(const QString& section, QStringList& names);

    // The whole value of a key (no length limit, no stand-in texts); false when the key is missing.
    bool ReadValue(const QString& section, const QString& key, QString* value);
    // Every key name of the section in file order, without the buffer limit.
    QStringList KeyNames(const QString& section);
    bool SectionExists(const QString& section);
    // Adds an empty section when it is missing.
    bool CreateSection(const QString& section);

    // Between BeginUpdate and EndUpdate writes stay in memory; EndUpdate writes the file once.
    // Reads in between see the pending changes.
    void BeginUpdate();
    bool EndUpdate();

    // Why the last failed write failed.
    const QString& LastError() const { return lastError; }

    static constexpr int kMaxValueChars = 254;
    static constexpr int kSectionBufferChars = 2000;
    static inline const QString MissingValue = QStringLiteral("unknown value");
    static inline const QString EmptyValue = QStringLiteral("Unknown section or key");

private:
    struct Signature {
        bool exists = false;
        unsigned long long device = 0, inode = 0;
        long long size = 0, mtimeSec = 0, mtimeNsec = 0;
        bool operator==(const Signature&) const = default;
    };
    Signature Stat() const;
    void Load();
    bool Commit();
    // One "[name]" header and the lines up to the next header: where it lies, and the line of
    // the first key of each name, as an offset from the header (names folded, see Fold).
    struct Span {
        int begin = 0;
        int end = 0;
        QHash<QString, int> keys;
    };
    // Reads the file when needed and indexes its sections and keys once per read, so a lookup
    // does not scan the file (a settings file may hold tens of thousands of keys).
    void Index();
    // The first section named section, or nullptr.
    Span* FindSpan(const QString& section);
    // First line index of the section's header, -1 when missing; end is the index after its last
    // line (the next header or the end of the file).
    int FindSection(const QString& section, int* end);
    // The line of the first key named key in span, -1 when missing.
    int FindKey(const Span* span, const QString& key, QString* value) const;
    // Appends "[section]" (after a blank line) and then line when it is not empty; keeps the
    // index in step.
    void AppendSection(const QString& section, const QString& line);

    QString fileName;
    QStringList lines;
    std::vector<Span> spans;        // every section in file order; valid while indexed
    QHash<QString, int> bySection;  // folded name: index of its first span
    bool indexed = false;
    QByteArray diskBytes;  // the file's bytes as last read or written
    bool loaded = false;
    bool unreadable = false;  // the file exists but could not be read
    Signature signature;
    int updateDepth = 0;
    bool dirty = false;
    QString lastError;
};
