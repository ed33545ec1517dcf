#pragma once
// One Keithley electrometer as the acquisition uses it: a reading leaves the scaled value in
// InstrumentValues::KeiValue. When no reply comes the link is reconnected once and the query
// repeated; a final failure shows an error box, sets StopRequest and leaves KeiValue as it was.
#include "instruments/instrument_context.h"

namespace korvo {

class Electrometer {
public:
    virtual ~Electrometer() = default;
    virtual void KeiRead() = 0;
};

// The link as it behaves before its serial port is connected: both queries time out.
class UnconnectedElectrometer final : public Electrometer {
public:
    explicit UnconnectedElectrometer(InstrumentContext ctx) : ctx_(ctx) {}
    void KeiRead() override;
    // The time-out of the link's page at its default (seconds).
    static constexpr int kTimeoutS = 5;

private:
    InstrumentContext ctx_;
};

} // namespace korvo
