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
    // Room grows with the bytes that came, not with the length a frame names.
    constexpr uint32_t kStep = 65536;
    for (uint32_t got = 0; got < size;) {
        const uint32_t n = size - got < kStep ? size - got : kStep;
        frame->resize(got + n);
        if (!ReadAll(frame->data() + got, n)) {
            frame->clear();
            return Broken;
        }
        got += n;
    }
    return Frame;
}
