#include "tango/tango_server.h"

#include <tango.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

void Tango::DServer::class_factory() {
    add_class(korvo::KorvoDeviceClass::init("Korvo"));
}

namespace korvo {

std::vector<std::string> withLoopbackDefault(std::vector<std::string> args) {
    const bool named = std::any_of(args.begin(), args.end(),
                                   [](const std::string& a) { return a.rfind("-ORBendPoint", 0) == 0; });
    if (!named) {
        args.push_back("-ORBendPoint");
        args.push_back("giop:tcp:127.0.0.1:");
    }
    return args;
}

namespace {

// Whether something can listen on giop:tcp:HOST:PORT (an empty port: any).
std::string endpointRefusal(const std::string& endpoint) {
    const std::string prefix = "giop:tcp:";
    if (endpoint.rfind(prefix, 0) != 0) return {}; // another transport: Tango judges it
    const std::string rest = endpoint.substr(prefix.size());
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos) return endpoint + ": no port (giop:tcp:HOST:PORT)";
    std::string host = rest.substr(0, colon);
    const std::string port = rest.substr(colon + 1);
    if (host.size() > 1 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (const int e = ::getaddrinfo(host.empty() ? nullptr : host.c_str(), port.empty() ? "0" : port.c_str(),
                                    &hints, &found);
        e != 0)
        return endpoint + ": " + ::gai_strerror(e);
    std::string why = endpoint + ": nothing to listen on";
    for (addrinfo* a = found; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const bool bound = ::bind(fd, a->ai_addr, a->ai_addrlen) == 0;
        const int error = errno;
        ::close(fd);
        if (bound) {
            why.clear();
            break;
        }
        why = endpoint + ": " + std::strerror(error);
    }
    ::freeaddrinfo(found);
    return why;
}

bool deviceNameFits(const std::string& name) {
    std::size_t parts = 0;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t slash = name.find('/', begin);
        const std::string part = name.substr(begin, slash == std::string::npos ? std::string::npos : slash - begin);
        if (part.empty()) return false;
        for (unsigned char c : part)
            if (!(std::isalnum(c) || c == '_' || c == '-' || c == '.')) return false;
        ++parts;
        if (slash == std::string::npos) break;
        begin = slash + 1;
    }
    return parts == 3;
}

} // namespace

std::string tangoArgumentsRefusal(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-ORBendPoint")
            if (std::string why = endpointRefusal(args[i + 1]); !why.empty()) return "Tango cannot listen on " + why;
        if (args[i] == "-dlist") {
            std::string list = args[i + 1];
            for (std::size_t b = 0, e; b <= list.size(); b = e + 1) {
                e = std::min(list.find(',', b), list.size());
                const std::string name = list.substr(b, e - b);
                if (!deviceNameFits(name))
                    return "\"" + name + "\" is no Tango device name (domain/family/member)";
            }
        }
    }
    return {};
}

std::unique_ptr<TangoServer> TangoServer::start(const std::vector<std::string>& args, std::function<void()> ended,
                                                std::string* error) {
    std::unique_ptr<TangoServer> s(new TangoServer());
    s->args_ = withLoopbackDefault(args);
    if (std::string why = tangoArgumentsRefusal(s->args_); !why.empty()) {
        *error = why;
        return nullptr;
    }
    for (std::string& a : s->args_) s->argv_.push_back(a.data());
    s->argv_.push_back(nullptr);
    int argc = int(s->args_.size());
    try {
        Tango::Util* tg = Tango::Util::init(argc, s->argv_.data());
        tg->server_init(false);
        TangoServer* raw = s.get();
        s->loop_ = std::thread([tg, raw, ended = std::move(ended)] {
            // Tango asks omniORB which thread it runs on.
            omni_thread::ensure_self self;
            try {
                tg->server_run();
            } catch (const CORBA::Exception& e) {
                Tango::Except::print_exception(e);
            }
            raw->ended_ = true;
            if (ended) ended();
        });
    } catch (const CORBA::Exception& e) {
        if (const auto* f = dynamic_cast<const Tango::DevFailed*>(&e); f && f->errors.length() > 0)
            *error = std::string(f->errors[0].desc.in());
        else
            *error = "Tango could not start its server.";
        return nullptr;
    }
    return s;
}

TangoServer::~TangoServer() {
    // Not started (refused, or Tango failed to start): there is nothing to end.
    if (!loop_.joinable()) return;
    if (!ended_) {
        try {
            Tango::Util::instance()->shutdown_ds();
        } catch (const CORBA::Exception& e) {
            Tango::Except::print_exception(e);
        }
    }
    if (loop_.joinable()) loop_.join();
}

} // namespace korvo
