#pragma once
// The measurement station as one object: the parameter fields and their settings, the last
// measurement, the analyser card routines, the saver, the run engine and the instrument devices.
// The desktop program, korvo-cli and the tests build it the same way, from a context and a port back
// end; a window holds a reference and adapts what it shows to widgets, korvo-cli prints it.
#include "acquisition/analyser_io/analyser_io.h"
#include "acquisition/context.h"
#include "acquisition/instrument_devices.h"
#include "acquisition/measurement_fields.h"
#include "acquisition/measurement_settings.h"
#include "acquisition/photon_command.h"
#include "acquisition/run/run_engine.h"
#include "acquisition/run/saving.h"
#include "acquisition/run_state.h"
#include "common/port_io.h"

namespace korvo {

class Station {
public:
    // `port` is the analyser card back end; it must outlive the station. The card is not touched
    // until startCard().
    Station(AcquisitionContext& ctx, PortIo& port);
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    AcquisitionContext& ctx;
    MeasurementFields fields;     // the parameter fields as the user typed them
    RunState state;               // the window's parameter state: mode, reference channel, extra points
    MeasurementSettings settings; // toggles, pass-energy change, INI file; SaveDir, StartDir
    InstrumentDevices devices;
    PhotonView photon; // the "Set Pho. Energy" button and the run's photon steps
    Measurement measurement;
    AnalyserIo io;
    MeasurementSaver saver;
    RunEngine engine;

    // The analyser card back end chosen at program start (the desktop program reads it from the
    // settings the window has read); it must outlive the station.
    void usePort(PortIo& port) { io.usePort(port); }
    // Program start: programs the card's timer and tests whether the card answers; without an
    // answer the station measures in test mode. Returns whether the card answered.
    bool startCard() { return io.startUp(true); }
    // Where the run and the analyser routines show what they do.
    void setDisplays(RunDisplay& run, InstrumentDisplay& instruments) {
        engine.setDisplay(run);
        io.setDisplay(instruments);
    }
    // The photon energy command of the "Set Pho. Energy" button: a move to the photon field, or the
    // stop of the move in progress. After a failed move the field shows where the monochromator
    // was last read to stand.
    PhotonOutcome photonEnergyCommand();
};

} // namespace korvo
