#pragma once
// Starts the program detached from the caller: in a session of its own, with standard input and
// output on /dev/null (a native messaging host's pipes must stay the browser's) and none of the
// caller's other descriptors, never a child the caller has to reap.

#include <string>

class ProgramStarter {
public:
    // The folder of the shared object that holds this code (dladdr), without a trailing "/".
    static std::string OwnFolder();
    // True once the program runs (exec succeeded); else false with the reason.
    static bool Start(const std::string& program, std::string* error);
};
