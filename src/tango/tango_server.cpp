#include "tango/tango_server.h"

#include <tango.h>

#include <algorithm>

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

std::unique_ptr<TangoServer> TangoServer::start(const std::vector<std::string>& args, std::function<void()> ended,
                                                std::string* error) {
    std::unique_ptr<TangoServer> s(new TangoServer());
    s->args_ = withLoopbackDefault(args);
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
