#pragma once
// Tango's device server inside a program: the Korvo class registered, the devices made (on the
// calling thread, which must be the station's), and Tango's request loop on a thread of its own.
// korvo-tango and the desktop program both start it this way.
#include "tango/korvo_device.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace korvo {

// Tango without a database has no access control: unless `args` name an endpoint, the server
// listens on the loopback address only. Returns `args` with that default added.
std::vector<std::string> withLoopbackDefault(std::vector<std::string> args);

// Why Tango must not be started with `args` (empty: it may): an endpoint that cannot be listened on
// (its port taken, an unknown host) or a device name that is not domain/family/member. Tango ends
// the whole process on the first and cannot serve the second; the desktop program must stay.
std::string tangoArgumentsRefusal(const std::vector<std::string>& args);

class TangoServer {
public:
    // `args`: the server's name and Tango's arguments (instance, -nodb, -dlist, -file=, -ORB...).
    // `host` must be set (setTangoHost) and outlive the server. nullptr with the reason in *error
    // (tangoArgumentsRefusal's among others).
    // `ended` is told (on Tango's thread) when Tango's loop has ended (Kill, a signal).
    static std::unique_ptr<TangoServer> start(const std::vector<std::string>& args, std::function<void()> ended,
                                              std::string* error);
    // Ends Tango's loop, if it still runs, and waits for its thread.
    ~TangoServer();
    TangoServer(const TangoServer&) = delete;
    TangoServer& operator=(const TangoServer&) = delete;

private:
    TangoServer() = default;
    std::vector<std::string> args_;
    std::vector<char*> argv_;
    std::thread loop_;
    std::atomic<bool> ended_{false};
};

} // namespace korvo
