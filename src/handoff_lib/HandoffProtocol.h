#pragma once
// The rules the program, the hand-off library and the extension's host share: where the data
// folder and the program's socket are, the hash that ties the socket to the data folder, the
// words on the socket and the size limits. Plain C++, no Qt: libquorvanta uses it as well.
//
// Data folder: $XDG_DATA_HOME (else the home folder + "/.local/share") + "/quorvanta", cleaned.
// Socket folder: $XDG_RUNTIME_DIR/quorvanta (or /tmp/quorvanta-<uid> without an absolute runtime
// folder), mode 0700, holding "quorvanta-<uid>-<hash>.sock", where <hash> is the FNV-1a 64-bit
// hash, 16 lower-case hex digits, of the data folder: one program per user and data folder.
// Instance lock: "quorvanta-<uid>-<hash>.lock" in $XDG_RUNTIME_DIR, else in the data folder.
//
// On the socket a client opens with one line:
//   "QV-RAISE\n"                    a later start asks the running program to come to the front;
//   "QV-HANDOFF <byte count>\n"     followed by a message of at most kMaxMessage bytes, answered
//                                   "QV-TAKEN\n" or "QV-REFUSED <reason>\n";
//   "QV-BROWSER\n"                  the extension's host, which keeps the connection and carries
//                                   one JSON object a line both ways.
// A message: a command word ("down", "search", "all") and three keyed fields ("my_kvd_Url:=",
// "my_kvd_Info:=", "my_kvd_Ref:="), each closed by "||**KVDRMB**||".

#include <cstddef>
#include <string>
#include <string_view>

class HandoffProtocol {
public:
    static constexpr std::string_view kRaise = "QV-RAISE\n";
    static constexpr std::string_view kHandoff = "QV-HANDOFF ";
    static constexpr std::string_view kBrowser = "QV-BROWSER\n";
    static constexpr std::string_view kTaken = "QV-TAKEN";
    static constexpr std::string_view kRefused = "QV-REFUSED ";

    static constexpr std::string_view kDown = "down";
    static constexpr std::string_view kSearch = "search";
    static constexpr std::string_view kAll = "all";
    static constexpr std::string_view kUrlKey = "my_kvd_Url:=";
    static constexpr std::string_view kInfoKey = "my_kvd_Info:=";
    static constexpr std::string_view kRefKey = "my_kvd_Ref:=";
    static constexpr std::string_view kSeparator = "||**KVDRMB**||";

    // Longest hand-off message; longest header line (the word, a blank and the byte count).
    static constexpr size_t kMaxMessage = 65536;
    static constexpr size_t kMaxHeader = 32;
    // Longest JSON line on the browser link, and longest frame the host takes from the browser.
    static constexpr size_t kMaxLinkLine = 1024 * 1024;

    // The messages the library sends: a file to download, and a page to search (its info and
    // referrer fields hold one blank).
    static std::string DownMessage(std::string_view url, std::string_view info,
                                   std::string_view ref);
    static std::string SearchMessage(std::string_view url);
    // "QV-HANDOFF <size>\n" + message.
    static std::string Frame(std::string_view message);

    // $HOME without trailing "/", else the user database's home folder; empty when neither.
    static std::string HomeFolder();
    // Empty when no home folder is known and $XDG_DATA_HOME is not set.
    static std::string DataFolder();
    static std::string SocketFolder();
    // "quorvanta-<uid>-<hash of the data folder>"; empty without a data folder.
    static std::string BaseName();
    // SocketFolder() + "/" + BaseName() + ".sock"; empty without a data folder.
    static std::string SocketPath();
    // The instance lock's folder: $XDG_RUNTIME_DIR when it is a folder, else DataFolder().
    static std::string LockFolder();

    // The FNV-1a 64-bit hash as 16 lower-case hex digits.
    static std::string Hash(std::string_view bytes);
    // Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing
    // above U+10FFFF. (A NUL byte is well-formed; the socket refuses it on its own.)
    static bool IsUtf8(std::string_view bytes);
    // A path without "//", "." and "..", and without a trailing "/" ("." for an empty one).
    static std::string CleanPath(std::string_view path);
};
