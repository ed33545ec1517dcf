// korvo-tango: the analyser station as a Tango device server, without windows.
//   korvo-tango INSTANCE [Tango server options]
//   korvo-tango INSTANCE -nodb -dlist station/korvo/1 -ORBendPoint giop:tcp:127.0.0.1:10000
//   korvo-tango INSTANCE -file=korvo.res -ORBendPoint giop:tcp:127.0.0.1:10000
// Without -ORBendPoint it listens on the loopback address only (see the README before opening it to
// the beamline network).
#include "tango/headless_station.h"

#include <tango.h>

#include <cstring>
#include <iostream>
#include <thread>
#include <vector>

void Tango::DServer::class_factory() {
    add_class(korvo::KorvoDeviceClass::init("Korvo"));
}

int main(int argc, char* argv[]) {
    // Tango without a database has no access control: unless told where, listen on loopback only.
    std::vector<char*> args(argv, argv + argc);
    bool endPoint = false;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "-ORBendPoint", 12) == 0) endPoint = true;
    static char endPointOption[] = "-ORBendPoint";
    static char loopback[] = "giop:tcp:127.0.0.1:";
    if (!endPoint) {
        args.push_back(endPointOption);
        args.push_back(loopback);
    }
    args.push_back(nullptr);
    int count = int(args.size()) - 1;

    korvo::HeadlessStation station;
    korvo::setTangoHost(&station);
    try {
        Tango::Util* tg = Tango::Util::init(count, args.data());
        tg->server_init(false);
        std::thread orb([tg, &station] {
            // Tango asks omniORB which thread it runs on.
            omni_thread::ensure_self self;
            try {
                tg->server_run();
            } catch (const CORBA::Exception& e) {
                Tango::Except::print_exception(e);
            }
            station.stop();
        });
        station.serve();
        orb.join();
        tg->server_cleanup();
    } catch (const std::bad_alloc&) {
        std::cerr << "korvo-tango: out of memory\n";
        return 1;
    } catch (const CORBA::Exception& e) {
        Tango::Except::print_exception(e);
        return 1;
    }
    korvo::setTangoHost(nullptr);
    return 0;
}
