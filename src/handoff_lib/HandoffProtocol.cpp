#include "handoff_lib/HandoffProtocol.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string Uid() {
    return std::to_string(getuid());
}

}  // namespace

std::string HandoffProtocol::DownMessage(std::string_view url, std::string_view info,
                                         std::string_view ref) {
    std::string m;
    m.append(kDown).append(kUrlKey).append(url).append(kSeparator);
    m.append(kInfoKey).append(info).append(kSeparator);
    m.append(kRefKey).append(ref).append(kSeparator);
    return m;
}

std::string HandoffProtocol::SearchMessage(std::string_view url) {
    std::string m;
    m.append(kSearch).append(kUrlKey).append(url).append(kSeparator);
    m.append(kInfoKey).append(" ").append(kSeparator);
    m.append(kRefKey).append(" ").append(kSeparator);
    return m;
}

std::string HandoffProtocol::Frame(std::string_view message) {
    std::string frame(kHandoff);
    frame.append(std::to_string(message.size())).append("\n").append(message);
    return frame;
}

std::string HandoffProtocol::HomeFolder() {
    std::string home = Env("HOME");
    if (home.empty()) {
        std::vector<char> buffer(16384);
        passwd entry{};
        passwd* found = nullptr;
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
            found->pw_dir)
            home = found->pw_dir;
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

std::string HandoffProtocol::DataFolder() {
    std::string dataHome = Env("XDG_DATA_HOME");
    if (dataHome.empty()) {
        const std::string home = HomeFolder();
        if (home.empty()) return {};
        dataHome = home + "/.local/share";
    }
    return CleanPath(dataHome + "/quorvanta");
}

std::string HandoffProtocol::SocketFolder() {
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    if (!runtime.empty() && runtime[0] == '/') return CleanPath(runtime + "/quorvanta");
    return "/tmp/quorvanta-" + Uid();
}

std::string HandoffProtocol::BaseName() {
    const std::string data = DataFolder();
    if (data.empty()) return {};
    return "quorvanta-" + Uid() + "-" + Hash(data);
}

std::string HandoffProtocol::SocketPath() {
    const std::string base = BaseName();
    if (base.empty()) return {};
    return SocketFolder() + "/" + base + ".sock";
}

std::string HandoffProtocol::LockFolder() {
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    struct stat st {};
    if (!runtime.empty() && ::stat(runtime.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return runtime;
    return DataFolder();
}

std::string HandoffProtocol::Hash(std::string_view bytes) {
    uint64_t h = 14695981039346656037ull;
    for (const unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
    return out;
}

std::string HandoffProtocol::CleanPath(std::string_view path) {
    const bool absolute = !path.empty() && path[0] == '/';
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == ".") {
        } else if (part == ".." && !parts.empty() && parts.back() != "..") {
            parts.pop_back();
        } else if (part == ".." && absolute) {
            // Above the root stays at the root.
        } else {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += '/';
        out.append(parts[i]);
    }
    return out.empty() ? "." : out;
}

bool HandoffProtocol::IsUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const stop = s + bytes.size();
    while (s < stop) {
        const unsigned c = *s++;
        if (c < 0x80) continue;
        int extra;
        unsigned min;
        unsigned code;
        if ((c & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, code = c & 0x07;
        } else {
            return false;
        }
        for (int i = 0; i < extra; ++i, ++s) {
            if (s == stop || (*s & 0xC0) != 0x80) return false;
            code = (code << 6) | (*s & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    }
    return true;
}
