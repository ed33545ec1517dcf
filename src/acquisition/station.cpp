#include "acquisition/station.h"

namespace korvo {

Station::Station(AcquisitionContext& c, PortIo& port)
    : ctx(c), settings(fields, state, c), devices(c.instruments()),
      io(c, port, devices, measurement.state, measurement.data),
      saver(c, fields, settings.store, measurement),
      engine(RunParts{c, io, fields, state, measurement, saver, devices, photon}) {}

PhotonOutcome Station::photonEnergyCommand() {
    const std::string target = fields.photon;
    return photonMoveTo(photon, fields.photon, target, *devices.monochromator, ctx);
}

} // namespace korvo
