#include "store/UserMessage.h"

#include <cstdio>

namespace UserMessage {

namespace {
Handler& Current() {
    static Handler handler;
    return handler;
}
}  // namespace

void SetHandler(Handler handler) {
    Current() = std::move(handler);
}

void Show(Icon icon, const QString& title, const QString& text) {
    if (Current()) {
        Current()(icon, title, text);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
}

}  // namespace UserMessage
