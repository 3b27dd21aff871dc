#pragma once

// The extension host's input from the browser (native messaging): frames of a 32-bit length in
// native byte order followed by that many bytes. Plain C++, the bytes come from a read function,
// so that the host reads its standard input with it and the tests and fuzz targets read bytes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class HostFrames {
public:
    // Reads up to `size` bytes into `to` and returns how many: fewer only where the input ends.
    using ReadFn = std::function<size_t(void* to, size_t size)>;

    enum Result {
        Closed,   // the input ended between frames
        Frame,    // a whole frame
        Skipped,  // a frame longer than skipAbove, read and dropped
        Broken    // the input ended inside a frame, or a frame longer than breakAbove was announced
    };

    // Frames longer than skipAbove are read and dropped; a length above breakAbove is not read at
    // all.
    HostFrames(ReadFn read, uint32_t skipAbove, uint32_t breakAbove)
        : read(std::move(read)), skipAbove(skipAbove), breakAbove(breakAbove) {}

    // The next frame into *frame (emptied for anything but Frame); *announced gets the length the
    // frame named.
    Result Next(std::string* frame, uint32_t* announced = nullptr);

private:
    bool ReadAll(void* to, size_t size);

    ReadFn read;
    uint32_t skipAbove;
    uint32_t breakAbove;
};
