#pragma once
// The file a job's bytes go to: its working name (the "!qv" suffix, automatic renaming), its
// creation at the file's size, writes at the positions the bytes belong to, and the last check
// that it is whole before the job is called complete. Errors come back as errno values; the job
// words them.

#include <QString>
#include <cstdint>
#include <memory>

#include "engine/ByteRanges.h"
#include "engine/FileLayout.h"

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
    // Creates (or empties) the file (0 or the errno of the failure), then gives it size bytes
    // on a worker thread: progress and then finished are called on context's thread, unless
    // the file is closed first. EndLayout once finished has come.
    int CreateLaidOut(const QString& name, int64_t size, QObject* context,
                      FileLayout::Progress progress, FileLayout::Finished finished);
    bool LayingOut() const { return layout != nullptr; }
    void EndLayout() { layout.reset(); }
    // Opens the file of an earlier run; one shorter than size (when size >= 0) is lengthened.
    // 0 or the errno of the failure; *opened tells whether the open itself succeeded.
    int OpenExisting(const QString& name, int64_t size, bool* opened);
    // Gives the open file size bytes. 0 or errno.
    int Resize(int64_t size);
    // Writes all bytes at offset. 0 or errno.
    int WriteAt(const char* data, int64_t size, int64_t offset);
    // Stops a layout still running (and waits for it), then closes the file.
    void Close();

    // The name a new file is made under: the wanted name (without a working suffix) shortened to
    // the file system's limit, numbered when autoRename finds it taken, then the working suffix
    // ("!qv" with workingSuffix) behind it. "" with *problem set when there is none.
    static QString ChooseName(const QString& name, bool workingSuffix, bool autoRename,
                              QString* problem);

    static bool Exists(const QString& path);
    static QString ErrnoText(int error);
    // The last path component's base and extension (from the last "." on).
    static QString BaseOf(const QString& name);
    static QString ExtOf(const QString& name);
    // The longest file name (in bytes of the file system's encoding) a folder entry may have.
    static constexpr int kNameMax = 255;
    // Room every final name leaves for the longest suffix the program puts behind it: the
    // working "!qv", quorvanta-get's ".qvlock", and its ".qvjob" with the ".XXXXXX" of the
    // temporary file the record is written through.
    static constexpr int kSuffixRoom = 13;
    // The name shortened before its extension so that with suffixBytes more (at least
    // kSuffixRoom) it fits kNameMax; "" when even the extension alone does not fit.
    static QString FitName(const QString& path, int suffixBytes);
    // The first free final name from name on, each fitted to the limit with the suffix:
    // a.swf, a0.swf, a01.swf ...; free means that neither it nor it with the suffix exists.
    // "" when none is free or none fits.
    static QString NextFreeName(const QString& name, const QString& suffix);
    // True when every byte of [0, size) is in written and the file at path is a regular file of
    // size bytes; why gets the reason when not.
    // A working name ("...!qv") that is gone while its final name holds a file of size bytes:
    // the run that finished it was ended between the rename and the save of its record. The
    // final name then, else "".
    static QString FinishedAs(const QString& workingName, int64_t size);
    static bool VerifyComplete(const ByteRanges& written, int64_t size, const QString& path,
                               QString* why);

private:
    int fd = -1;
    std::unique_ptr<FileLayout> layout;
};
