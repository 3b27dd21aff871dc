// The C interface of quorvanta.h over NetApi.

#include <string>

#include "handoff_lib/HandoffProtocol.h"
#include "handoff_lib/NetApi.h"
#include "handoff_lib/quorvanta.h"

namespace {

thread_local std::string lastError;

bool Check(std::initializer_list<const char*> texts) {
    for (const char* t : texts) {
        if (!t) {
            lastError = "a text argument is missing (null)";
            return false;
        }
        if (!HandoffProtocol::IsUtf8(t)) {
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
