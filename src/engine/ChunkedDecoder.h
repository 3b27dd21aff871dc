#pragma once
// Decodes a body in chunked transfer coding as its bytes arrive, in pieces of any size:
//
//   size-in-hex[;extension] CRLF  data  CRLF  ...  0 CRLF  [trailer lines]  CRLF
//
// A line ends at its "\n"; blanks and "\r" around it do not count. A line longer than
// kLineLimit bytes, a size that is not a hex number, or something else than a blank line after
// a chunk's data breaks the coding: Feed returns false from then on and takes nothing more.
// Bytes after the end (the blank line after the last chunk) are not looked at.
//
// With Rules::CheckDataEnd off the two bytes after a chunk's data are passed over unseen, as the
// page analyser and the update check have always read their bodies.

#include <QByteArray>

class ChunkedDecoder {
public:
    static constexpr qsizetype kLineLimit = 4096;

    struct Rules {
        bool CheckDataEnd = true;
    };

    ChunkedDecoder() = default;
    explicit ChunkedDecoder(Rules rules) : rules(rules) {}

    // Appends the data in the next bytes to out; false once the coding is broken.
    bool Feed(const char* data, qsizetype size, QByteArray& out);
    bool Feed(const QByteArray& bytes, QByteArray& out) {
        return Feed(bytes.constData(), bytes.size(), out);
    }

    // The blank line after the last chunk has come.
    bool Done() const { return state == State::Done; }
    // The last chunk ("0") has come; its trailer may still be on its way.
    bool SawLastChunk() const { return state == State::Trailer || state == State::Done; }
    bool Failed() const { return state == State::Failed; }

    // A whole body decoded at once. A body cut short gives what arrived (of a cut chunk, the
    // part that came); a break in the coding ends the data there. complete tells whether the
    // last chunk was seen; failed whether the coding broke.
    static QByteArray DecodeWhole(const QByteArray& body, Rules rules, bool* complete = nullptr,
                                  bool* failed = nullptr);

private:
    enum class State { Size, Data, DataEnd, Trailer, Done, Failed };

    // Handles one whole line (without its "\n") in the current state.
    bool TakeLine(QByteArray line);

    Rules rules;
    State state = State::Size;
    qint64 chunkLeft = 0;  // data bytes of the chunk still to come
    int skipLeft = 0;      // bytes after the data still to pass over (without CheckDataEnd)
    QByteArray line;       // the line read so far
};
