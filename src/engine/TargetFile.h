#pragma once
// The file a job's bytes go to: its working name (the "!qv" suffix, automatic renaming), its
// creation at the file's size, writes at the positions the bytes belong to, and the last check
// that it is whole before the job is called complete. Errors come back as errno values; the job
// words them.

#include <QString>
#include <cstdint>

#include "engine/ByteRanges.h"

class TargetFile {
public:
    TargetFile() = default;
    ~TargetFile();
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    bool IsOpen() const { return fd >= 0; }
    int Descriptor() const { return fd; }

    // Creates (or empties) the file and gives it size bytes. 0 or the errno of the failure.
    int Create(const QString& name, int64_t size);
    // Opens the file of an earlier run; one shorter than size (when size >= 0) is lengthened.
    // 0 or the errno of the failure; *opened tells whether the open itself succeeded.
    int OpenExisting(const QString& name, int64_t size, bool* opened);
    // Gives the open file size bytes. 0 or errno.
    int Resize(int64_t size);
    // Writes all bytes at offset. 0 or errno.
    int WriteAt(const char* data, int64_t size, int64_t offset);
    void Close();

    static bool Exists(const QString& path);
    static QString ErrnoText(int error);
    // The last path component's base and extension (from the last "." on).
    static QString BaseOf(const QString& name);
    static QString ExtOf(const QString& name);
    // The first free name from name on: a.swf, a0.swf, a01.swf ...; with checkFinal a name
    // ending in "!qv" also needs its name without it free. "" when none is free.
    static QString NextFreeName(const QString& name, bool checkFinal);
    // True when every byte of [0, size) is in written and the file at path is a regular file of
    // size bytes; why gets the reason when not.
    static bool VerifyComplete(const ByteRanges& written, int64_t size, const QString& path,
                               QString* why);

private:
    int fd = -1;
};
