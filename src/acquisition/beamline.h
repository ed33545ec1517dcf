#pragma once
// The instrument links of one program run: the monochromator, the main motor, the two electrometers
// (each on its own serial port driver), the two stepper axes on the parallel port and the ring-current
// poll. The desktop program opens the serial ports through Qt Serial Port, korvo-cli and the tests
// through termios; both attach the links to their station, whose runs then use them.
#include "acquisition/station.h"
#include "common/port_io.h"
#include "instruments/electrometer/electrometer_link.h"
#include "instruments/monochromator/monochromator_link.h"
#include "instruments/motor_drive/motor_drive_link.h"
#include "instruments/ring_current/ring_poll.h"
#include "instruments/serial/byte_transport.h"
#include "instruments/serial/com_port_paths.h"
#include "instruments/stepper_axes/parallel_stepper_axes.h"

#include <functional>
#include <memory>
#include <vector>

namespace korvo {

using TransportFactory = std::function<std::unique_ptr<ByteTransport>()>;

class Beamline {
public:
    // `parallelPort` carries the stepper axes (the analyser card's port back end); `paths` maps
    // COM1..COM4. Both must outlive the beamline.
    Beamline(Station& station, PortIo& parallelPort, const TransportFactory& makeTransport,
             const ComPortPaths& paths);
    Beamline(const Beamline&) = delete;
    Beamline& operator=(const Beamline&) = delete;
    // The station's devices go back to their unconnected objects.
    ~Beamline();

    MonochromatorLink monochromator;
    MotorDriveLink motorDrive;
    ElectrometerLink electrometer1;
    ElectrometerLink electrometer2;
    ParallelStepperAxes steppers;
    RingPoll ring;
    // The ring current's timers while the page is read (connectInstruments starts them).
    std::vector<Timers::Id> ringTimers;

private:
    Station& station_;
};

} // namespace korvo
