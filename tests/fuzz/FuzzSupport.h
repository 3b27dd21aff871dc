#pragma once

// What every fuzz target shares. A target file defines its entry with QV_FUZZ_ENTRY(name). In the
// fuzz build (QV_FUZZ_TARGET) each target file is a libFuzzer program of its own and the entry is
// LLVMFuzzerTestOneInput; in the normal build every target file goes into test_fuzz_replay, each
// entry under its own name, and the replay feeds every corpus file through every entry.
//
// QV_FUZZ_CHECK states what a reader promises of its answer (lengths within the input, ranges
// within the file, names without path separators): a broken promise is a finding like a crash.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Fuzz {

using Entry = int (*)(const uint8_t* data, size_t size);

struct Target {
    const char* name;
    Entry entry;
};

bool Register(const char* name, Entry entry);
const std::vector<Target>& Targets();

// A broken promise: the fuzzer stops on it (abort, input saved); the replay collects it.
void Finding(const char* file, int line, const char* what);
std::vector<std::string>& Findings();

// The Qt application the readers' timers and sockets need (made once in the fuzz programs).
void NeedApplication();
// A folder of this process for readers that read files.
QString TempFolder();

// Splits an input into choices and pieces: the first bytes steer (piece sizes, flags), the rest
// is the data a reader sees.
class Input {
public:
    Input(const uint8_t* data, size_t size)
        : bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)) {}
    // A number from the front, 0..255 (0 when the input ran out).
    int Byte() { return pos < bytes.size() ? static_cast<unsigned char>(bytes[pos++]) : 0; }
    bool Flag() { return Byte() & 1; }
    // The rest of the input.
    QByteArray Rest() const { return bytes.mid(pos); }
    const QByteArray& All() const { return bytes; }

private:
    QByteArray bytes;
    qsizetype pos = 0;
};

// The pieces `data` arrives in from a socket: sizes taken from a seed, 1 to 64 bytes and now and
// then the whole rest, so that every boundary gets its turn.
std::vector<QByteArray> Pieces(const QByteArray& data, uint32_t seed);

}  // namespace Fuzz

#define QV_FUZZ_CHECK(cond)                                                 \
    do {                                                                    \
        if (!(cond)) ::Fuzz::Finding(__FILE__, __LINE__, "failed: " #cond); \
    } while (0)

#ifdef QV_FUZZ_TARGET
#define QV_FUZZ_ENTRY(name) extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
#else
#define QV_FUZZ_ENTRY(name)                                        \
    static int FuzzEntry_##name(const uint8_t* data, size_t size); \
    [[maybe_unused]] static const bool fuzzRegistered_##name =     \
        ::Fuzz::Register(#name, FuzzEntry_##name);                 \
    static int FuzzEntry_##name(const uint8_t* data, size_t size)
#endif
