#include "acquisition/beamline.h"

#include "instruments/ring_current/ring_fetch.h"

namespace korvo {

Beamline::Beamline(Station& station, PortIo& parallelPort, const TransportFactory& makeTransport,
                   const ComPortPaths& paths)
    : monochromator(station.ctx.instruments(), makeTransport(), paths),
      motorDrive(station.ctx.instruments(), makeTransport(), paths),
      electrometer1(station.ctx.instruments(), makeTransport(), paths),
      electrometer2(station.ctx.instruments(), makeTransport(), paths),
      steppers(station.ctx.instruments(), parallelPort),
      ring(ringPageFetcher(), station.ctx.clock, station.ctx.values), station_(station) {
    InstrumentDevices& d = station.devices;
    d.monochromator = &monochromator;
    d.motorDrive = &motorDrive;
    d.electrometer1 = &electrometer1;
    d.electrometer2 = &electrometer2;
    d.steppers = &steppers;
    // The position the monochromator reports is the photon field's.
    monochromator.photonFieldShown = [&station](const std::string& photon) {
        station.fields.photon = photon;
    };
}

Beamline::~Beamline() {
    station_.devices.useUnconnected();
}

} // namespace korvo
