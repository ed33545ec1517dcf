#pragma once
// The instruments a station talks to besides the analyser card, one object per device. Each starts
// as its "not connected" object; the link that is set up takes its place.
#include "instruments/electrometer/electrometer.h"
#include "instruments/instrument_context.h"
#include "instruments/monochromator/monochromator.h"
#include "instruments/motor_drive/motor_drive.h"
#include "instruments/stepper_axes/stepper_axes.h"

namespace korvo {

struct InstrumentDevices {
    explicit InstrumentDevices(InstrumentContext ctx)
        : noMonochromator_(ctx), noElectrometer1_(ctx), noElectrometer2_(ctx), noMotorDrive_(ctx) {}
    InstrumentDevices(const InstrumentDevices&) = delete;
    InstrumentDevices& operator=(const InstrumentDevices&) = delete;

    // Back to the unconnected objects (the links that took their place are going away).
    void useUnconnected() {
        monochromator = &noMonochromator_;
        electrometer1 = &noElectrometer1_;
        electrometer2 = &noElectrometer2_;
        motorDrive = &noMotorDrive_;
        steppers = &noSteppers_;
    }

    // Never null; the links that replace the unconnected objects must outlive the station.
    Monochromator* monochromator = &noMonochromator_;
    Electrometer* electrometer1 = &noElectrometer1_; // "Keithley 1"
    Electrometer* electrometer2 = &noElectrometer2_; // "Keithley 2"
    MotorDrive* motorDrive = &noMotorDrive_;
    StepperAxes* steppers = &noSteppers_;

private:
    UnconnectedMonochromator noMonochromator_;
    UnconnectedElectrometer noElectrometer1_, noElectrometer2_;
    UnconnectedMotorDrive noMotorDrive_;
    UnconnectedStepperAxes noSteppers_;
};

} // namespace korvo
