#pragma once
// The monochromator as the acquisition uses it: move to a photon energy, stop, reopen the link, ask
// for the position. Results are left in InstrumentValues (MonoError, StopRequest).
#include "instruments/instrument_context.h"

#include <optional>
#include <string>

namespace korvo {

class Monochromator {
public:
    virtual ~Monochromator() = default;
    // True while the link's serial port is open.
    virtual bool connected() const = 0;
    // Moves to `energyText` (eV, the text placed into the link's energy box). MonoError is 0 exactly
    // when the move was accepted and the monochromator reported idle (or was stopped on request).
    virtual void MonoGoEnergy(const std::string& energyText) = 0;
    // Raises StopRequest and MonoStopRequest and sends the stop command if connected.
    virtual void MonoStop() = 0;
    virtual void MonoOpen() = 0;
    virtual void MonoClose() = 0;
    virtual void MonoGetPosition() = 0;
    // What the energy box gets for a photon energy of 0 (the zeroth order).
    virtual std::string zeroOrderText() const = 0;
    // The photon energy ("0.000") of the last position read back from the monochromator; nullopt
    // while none has been read. After a failed move it is where the monochromator is known to stand.
    virtual std::optional<std::string> positionRead() const { return std::nullopt; }
};

// The link as it behaves before its serial port is connected.
class UnconnectedMonochromator final : public Monochromator {
public:
    explicit UnconnectedMonochromator(InstrumentContext ctx) : ctx_(ctx) {}
    bool connected() const override { return false; }
    void MonoGoEnergy(const std::string& energyText) override;
    void MonoStop() override;
    void MonoOpen() override {}
    void MonoClose() override {}
    void MonoGetPosition() override {}
    std::string zeroOrderText() const override { return "0"; }

private:
    InstrumentContext ctx_;
};

} // namespace korvo
