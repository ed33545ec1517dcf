// korvo-tango: the analyser station as a Tango device server, without windows.
//   korvo-tango INSTANCE [Tango server options]
//   korvo-tango INSTANCE -nodb -dlist station/korvo/1 -ORBendPoint giop:tcp:127.0.0.1:10000
//   korvo-tango INSTANCE -file=korvo.res -ORBendPoint giop:tcp:127.0.0.1:10000
// Without -ORBendPoint it listens on the loopback address only (see the README before opening it to
// the beamline network).
#include "tango/headless_station.h"
#include "tango/tango_server.h"

#include <iostream>

int main(int argc, char* argv[]) {
    korvo::HeadlessStation station;
    korvo::setTangoHost(&station);
    std::string error;
    auto server = korvo::TangoServer::start(std::vector<std::string>(argv, argv + argc),
                                            [&station] { station.stop(); }, &error);
    if (!server) {
        std::cerr << "korvo-tango: " << error << "\n";
        return 1;
    }
    // The station lives on this thread until Tango's loop ends; a run going on then is stopped and
    // saved.
    station.serve();
    server.reset();
    korvo::setTangoHost(nullptr);
    return 0;
}
