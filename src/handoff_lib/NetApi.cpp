#include "handoff_lib/NetApi.h"

#include <thread>

#include "handoff_lib/HandoffProtocol.h"
#include "handoff_lib/ProgramSocket.h"
#include "handoff_lib/ProgramStarter.h"
#include "handoff_lib/quorvanta.h"

namespace {

static_assert(QUORVANTA_MAX_MESSAGE == HandoffProtocol::kMaxMessage);

// How long a call may take, a program it had to start included.
constexpr std::chrono::seconds kStartBound(15);
constexpr std::chrono::milliseconds kRetryPause(50);

}  // namespace

std::string NetApi::DownMessage(const std::string& url, const std::string& info,
                                const std::string& ref) {
    return HandoffProtocol::DownMessage(url, info, ref);
}

std::string NetApi::SearchMessage(const std::string& url) {
    return HandoffProtocol::SearchMessage(url);
}

int NetApi::AddURL(const std::string& URL, const std::string& Info, const std::string& Ref) {
    return Deliver(DownMessage(URL, Info, Ref));
}

int NetApi::AddSearch(const std::string& URL) {
    return Deliver(SearchMessage(URL));
}

int NetApi::AddAll(const std::string& URL, const std::string& Info, const std::string& Ref) {
    return Deliver(DownMessage(URL, Info, Ref));
}

int NetApi::Fail(int code, const std::string& text) {
    lastError = text;
    return code;
}

const std::string& NetApi::ProgramPath() {
    if (programPath.empty()) programPath = ProgramStarter::OwnFolder() + "/quorvanta";
    return programPath;
}

int NetApi::Deliver(const std::string& message) {
    lastError.clear();
    if (message.size() > HandoffProtocol::kMaxMessage)
        return Fail(QUORVANTA_E_TOO_LONG, "the message is " + std::to_string(message.size()) +
                                              " bytes long, more than the " +
                                              std::to_string(HandoffProtocol::kMaxMessage) +
                                              " allowed");
    ProgramSocket socket;
    if (!socket.Locate()) return Fail(QUORVANTA_E_ENVIRONMENT, socket.Error());
    const auto deadline = ProgramSocket::Clock::now() + kStartBound;
    bool started = false;
    for (;;) {
        switch (socket.Exchange(message, deadline)) {
            case ProgramSocket::Delivered:
                return 0;
            case ProgramSocket::Unsafe:
                return Fail(QUORVANTA_E_UNSAFE, socket.Error());
            case ProgramSocket::Failed:
                return Fail(QUORVANTA_E_DELIVERY, socket.Error());
            case ProgramSocket::NotListening:
            case ProgramSocket::Vanished:
                // Not running, or ending just now: a program is started (once) and waited for.
                break;
        }
        if (!started) {
            std::string error;
            if (!ProgramStarter::Start(ProgramPath(), &error))
                return Fail(QUORVANTA_E_START, error);
            started = true;
        }
        if (ProgramSocket::Clock::now() + kRetryPause >= deadline)
            return Fail(QUORVANTA_E_TIMEOUT, "the program " + ProgramPath() +
                                                 " did not listen on " + socket.Path() +
                                                 " within 15 seconds");
        std::this_thread::sleep_for(kRetryPause);
    }
}
