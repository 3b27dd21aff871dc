// The extension host's frame reader on its input as the browser writes it, with the host's own
// limits and with small ones that make the dropping of long frames reachable.

#include <algorithm>
#include <cstring>

#include "fuzz/FuzzSupport.h"
#include "handoff_lib/HandoffProtocol.h"
#include "handoff_lib/HostFrames.h"

namespace {
void ReadAll(const QByteArray& bytes, uint32_t seed, uint32_t skipAbove, uint32_t breakAbove) {
    qsizetype at = 0;
    uint32_t state = seed;
    auto read = [&](void* to, size_t size) -> size_t {
        state = state * 1103515245u + 12345u;
        // Reads of a pipe may come short.
        const size_t most = std::max<size_t>(1, (state >> 16) % 7 == 0 ? 1 : size);
        const size_t n = std::min<size_t>({size, most, size_t(bytes.size() - at)});
        std::memcpy(to, bytes.constData() + at, n);
        at += qsizetype(n);
        return n;
    };
    HostFrames frames(read, skipAbove, breakAbove);
    std::string frame;
    qsizetype used = 0;
    for (;;) {
        uint32_t announced = 0;
        const HostFrames::Result got = frames.Next(&frame, &announced);
        QV_FUZZ_CHECK(at <= bytes.size());
        if (got == HostFrames::Closed) {
            QV_FUZZ_CHECK(at == used && at == bytes.size());
            break;
        }
        if (got == HostFrames::Broken) {
            QV_FUZZ_CHECK(at == bytes.size() || announced > breakAbove);
            break;
        }
        used += 4 + qsizetype(announced);
        QV_FUZZ_CHECK(at == used);
        if (got == HostFrames::Skipped) {
            QV_FUZZ_CHECK(announced > skipAbove && frame.empty());
        } else {
            QV_FUZZ_CHECK(announced <= skipAbove && frame.size() == announced);
            QV_FUZZ_CHECK(bytes.mid(at - qsizetype(frame.size()), qsizetype(frame.size())) ==
                          QByteArray::fromStdString(frame));
        }
    }
}
}  // namespace

QV_FUZZ_ENTRY(host_frames) {
    Fuzz::Input in(data, size);
    const uint32_t seed = uint32_t(in.Byte());
    const uint32_t small = uint32_t(in.Byte());
    const QByteArray bytes = in.Rest();
    const uint32_t limit = HandoffProtocol::kMaxLinkLine;
    ReadAll(bytes, seed, limit, UINT32_MAX);       // the host's messages
    ReadAll(bytes, seed, 64 * limit, 64 * limit);  // the relay's
    ReadAll(bytes, seed, small, small * 4u);
    return 0;
}
