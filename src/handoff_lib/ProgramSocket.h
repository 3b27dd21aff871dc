#pragma once
// The running program's local socket as the library sees it: where it is, whether it and its
// folder belong to the calling user, and one message exchange over it.
//
// Place: $XDG_RUNTIME_DIR/quorvanta (or /tmp/quorvanta-<uid> without it), a folder of mode 0700,
// holding "quorvanta-<uid>-<hash>.sock", where <hash> is the FNV-1a 64-bit hash (16 lower-case hex
// digits) of the program's data folder ($XDG_DATA_HOME or $HOME/.local/share, + "/quorvanta",
// cleaned). Exchange: "QV-HANDOFF <byte count>\n" and the message; the program answers
// "QV-TAKEN\n" once the message is in its queue, or "QV-REFUSED <reason>\n".

#include <chrono>
#include <string>

class ProgramSocket {
public:
    using Clock = std::chrono::steady_clock;
    // Vanished: the connection closed before any answer, as when the program ends meanwhile;
    // the message was not taken.
    enum Outcome { Delivered, NotListening, Vanished, Unsafe, Failed };

    // False (with the reason) when neither a runtime folder nor a home folder is known.
    bool Locate();
    const std::string& Folder() const { return folder; }
    const std::string& Path() const { return path; }
    const std::string& Error() const { return error; }

    // Connects (refusing a folder or socket of another user, or a peer running as another user),
    // sends the message and waits for the answer until deadline. NotListening: nobody listens
    // there (no folder, no socket, or a socket left behind).
    Outcome Exchange(const std::string& message, Clock::time_point deadline);

    // The FNV-1a 64-bit hash as 16 hex digits, and a path without "//", "." and "..", and without
    // a trailing "/".
    static std::string Hash(const std::string& text);
    static std::string CleanPath(const std::string& path);

private:
    Outcome Connect(int* fd);
    bool CheckOwner(const std::string& what, bool wantSocket, Outcome* outcome);

    std::string folder;
    std::string path;
    std::string error;
};
