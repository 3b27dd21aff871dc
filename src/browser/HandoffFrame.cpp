#include "browser/HandoffFrame.h"

namespace {
const QByteArray kWord(HandoffProtocol::kHandoff.data(),
                       qsizetype(HandoffProtocol::kHandoff.size()));
// More digits than this cannot be a count of at most kMaxMessage.
constexpr int kMaxCountDigits = 9;
}  // namespace

const QByteArray HandoffFrame::kUnknownRequest = "unknown request";
const QByteArray HandoffFrame::kBadCount = "the byte count is not a decimal number";
const QByteArray HandoffFrame::kTooLong = "the message is longer than 65536 bytes";
const QByteArray HandoffFrame::kNotUtf8 = "a text argument is not UTF-8";
const QByteArray HandoffFrame::kHoldsNul = "a text argument holds a NUL byte";
const QByteArray HandoffFrame::kOnePerConnection =
    "one message per connection: a second one was sent";

HandoffFrame::Outcome HandoffFrame::Read(const QByteArray& buffer, QByteArray* message,
                                         qsizetype* used, QByteArray* reason) {
    const qsizetype end = buffer.indexOf('\n');
    if (end < 0) {
        if (buffer.size() <= kMaxHeader) return Incomplete;
        *reason = kUnknownRequest;
        return Refused;
    }
    if (!buffer.startsWith(kWord)) {
        *reason = kUnknownRequest;
        return Refused;
    }
    const QByteArrayView count = QByteArrayView(buffer).sliced(kWord.size(), end - kWord.size());
    bool digits = !count.isEmpty();
    for (const char c : count) digits = digits && c >= '0' && c <= '9';
    if (!digits) {
        *reason = kBadCount;
        return Refused;
    }
    const qsizetype size = count.size() > kMaxCountDigits ? kMaxMessage + 1 : count.toLongLong();
    if (size > kMaxMessage) {
        *reason = kTooLong;
        return Refused;
    }
    if (buffer.size() - (end + 1) < size) return Incomplete;
    const QByteArrayView bytes = QByteArrayView(buffer).sliced(end + 1, size);
    if (bytes.contains('\0')) {
        *reason = kHoldsNul;
        return Refused;
    }
    if (!IsUtf8(bytes)) {
        *reason = kNotUtf8;
        return Refused;
    }
    *message = bytes.toByteArray();
    *used = end + 1 + size;
    return Whole;
}

bool HandoffFrame::IsUtf8(QByteArrayView bytes) {
    return HandoffProtocol::IsUtf8(std::string_view(bytes.data(), size_t(bytes.size())));
}
