#pragma once
// The instruments a station talks to besides the analyser card, one object per device. Each starts
// as its "not connected" object; a link that is set up replaces it.
#include "instruments/electrometer/electrometer.h"
#include "instruments/instrument_context.h"
#include "instruments/monochromator/monochromator.h"
#include "instruments/motor_drive/motor_drive.h"
#include "instruments/stepper_axes/stepper_axes.h"

#include <memory>

namespace korvo {

struct InstrumentDevices {
    explicit InstrumentDevices(InstrumentContext ctx)
        : monochromator(std::make_unique<UnconnectedMonochromator>(ctx)),
          electrometer1(std::make_unique<UnconnectedElectrometer>(ctx)),
          electrometer2(std::make_unique<UnconnectedElectrometer>(ctx)),
          motorDrive(std::make_unique<UnconnectedMotorDrive>(ctx)),
          steppers(std::make_unique<UnconnectedStepperAxes>()) {}

    std::unique_ptr<Monochromator> monochromator;
    std::unique_ptr<Electrometer> electrometer1; // "Keithley 1"
    std::unique_ptr<Electrometer> electrometer2; // "Keithley 2"
    std::unique_ptr<MotorDrive> motorDrive;
    std::unique_ptr<StepperAxes> steppers;
};

} // namespace korvo
