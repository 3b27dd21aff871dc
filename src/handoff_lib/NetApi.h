#pragma once
// The hand-off object: builds the message of one browser hand-off and delivers it to the running
// program over its user-private local socket, starting the program from this library's folder
// when it does not listen yet. Plain C++; it links nothing of the program.

#include <string>

#define QV_EXPORT __attribute__((visibility("default")))

class QV_EXPORT NetApi {
public:
    // Each returns 0 when the program took the message, else a QUORVANTA_E_* code (quorvanta.h)
    // with the reason in LastError().
    int AddURL(const std::string& URL, const std::string& Info, const std::string& Ref);
    int AddSearch(const std::string& URL);
    int AddAll(const std::string& URL, const std::string& Info, const std::string& Ref);
    const std::string& LastError() const { return lastError; }

    // The message texts: command word, the three keyed fields, each closed by the separator.
    static std::string DownMessage(const std::string& url, const std::string& info,
                                   const std::string& ref);
    static std::string SearchMessage(const std::string& url);

private:
    int Deliver(const std::string& message);
    int Fail(int code, const std::string& text);
    // The folder this library was loaded from + "/quorvanta", built on first need.
    const std::string& ProgramPath();

    std::string programPath;
    std::string lastError;
};
