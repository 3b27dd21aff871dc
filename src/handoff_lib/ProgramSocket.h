#pragma once
// The running program's local socket as the library sees it: where it is, whether it and its
// folder belong to the calling user, and one message exchange over it.
//
// Place and words: HandoffProtocol.

#include <chrono>
#include <string>

class ProgramSocket {
public:
    using Clock = std::chrono::steady_clock;
    // Vanished: the connection closed before any answer, as when the program ends meanwhile;
    // the message was not taken.
    enum Outcome { Delivered, NotListening, Vanished, Unsafe, Failed };

    // False (with the reason) when no home folder is known or the path is too long for a socket.
    bool Locate();
    const std::string& Folder() const { return folder; }
    const std::string& Path() const { return path; }
    const std::string& Error() const { return error; }

    // Connects (refusing a folder or socket of another user, or a peer running as another user),
    // sends the message and waits for the answer until deadline. NotListening: nobody listens
    // there (no folder, no socket, or a socket left behind).
    Outcome Exchange(const std::string& message, Clock::time_point deadline);
    // The browser link: connects with the same checks and opens with "QV-BROWSER\n"; on
    // Delivered *fd is the connection, which the caller closes.
    Outcome Link(int* fd);

private:
    Outcome Connect(int* fd);
    bool CheckOwner(const std::string& what, bool wantSocket, Outcome* outcome);

    std::string folder;
    std::string path;
    std::string error;
};
