// The C interface of quorvanta.h over NetApi.

#include <string>

#include "handoff_lib/NetApi.h"
#include "handoff_lib/quorvanta.h"

namespace {

thread_local std::string lastError;

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing above
// U+10FFFF.
bool IsUtf8(const char* text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    while (*s) {
        const unsigned c = *s;
        int extra;
        unsigned min;
        unsigned code;
        if (c < 0x80) {
            ++s;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, code = c & 0x07;
        } else {
            return false;
        }
        ++s;
        for (int i = 0; i < extra; ++i, ++s) {
            if ((*s & 0xC0) != 0x80) return false;
            code = (code << 6) | (*s & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    }
    return true;
}

bool Check(std::initializer_list<const char*> texts) {
    for (const char* t : texts) {
        if (!t) {
            lastError = "a text argument is missing (null)";
            return false;
        }
        if (!IsUtf8(t)) {
            lastError = "a text argument is not UTF-8";
            return false;
        }
    }
    return true;
}

int Finish(const NetApi& api, int rc) {
    lastError = api.LastError();
    return rc;
}

}  // namespace

extern "C" {

QV_EXPORT int quorvanta_add_url(const char* url, const char* info, const char* ref) {
    if (!Check({url, info, ref})) return QUORVANTA_E_ARGUMENT;
    NetApi api;
    return Finish(api, api.AddURL(url, info, ref));
}

QV_EXPORT int quorvanta_add_search(const char* url) {
    if (!Check({url})) return QUORVANTA_E_ARGUMENT;
    NetApi api;
    return Finish(api, api.AddSearch(url));
}

QV_EXPORT int quorvanta_add_all(const char* url, const char* info, const char* ref) {
    if (!Check({url, info, ref})) return QUORVANTA_E_ARGUMENT;
    NetApi api;
    return Finish(api, api.AddAll(url, info, ref));
}

QV_EXPORT const char* quorvanta_last_error(void) {
    return lastError.c_str();
}
}
