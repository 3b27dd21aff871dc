#include "handoff_lib/HostFrames.h"

bool HostFrames::ReadAll(void* to, size_t size) {
    auto* p = static_cast<char*>(to);
    while (size > 0) {
        const size_t n = read(p, size);
        if (n == 0 || n > size) return false;
        p += n;
        size -= n;
    }
    return true;
}

HostFrames::Result HostFrames::Next(std::string* frame, uint32_t* announced) {
    frame->clear();
    uint32_t size = 0;
    auto* p = reinterpret_cast<char*>(&size);
    size_t got = 0;
    while (got < sizeof size) {
        const size_t n = read(p + got, sizeof size - got);
        if (n == 0 || n > sizeof size - got) break;
        got += n;
    }
    if (got == 0) return Closed;
    if (got != sizeof size) return Broken;
    if (announced) *announced = size;
    if (size > breakAbove) return Broken;
    if (size > skipAbove) {
        char buffer[65536];
        while (size > 0) {
            const size_t chunk = size < sizeof buffer ? size : sizeof buffer;
            if (!ReadAll(buffer, chunk)) return Broken;
            size -= static_cast<uint32_t>(chunk);
        }
        return Skipped;
    }
    frame->resize(size);
    if (!ReadAll(frame->data(), size)) {
        frame->clear();
        return Broken;
    }
    return Frame;
}
