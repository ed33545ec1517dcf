#pragma once
// What the analyser routines show on the instrument windows: the control-register lamps and the
// voltage read-outs of the options window, the per-channel bars of the multichanneltron setup, and
// the options window itself on a given page. Display only; the windows implement it.
#include <array>
#include <cstdint>
#include <string>

namespace korvo {

// Analyser read-outs shown after every DAC setting: complete label texts such as
// "&Inner Hemisphere : - 80.3 V". The lens texts are empty while no lens table is chosen.
struct AnalyserReadouts {
    std::string voltage, monitor, inner, outer, retard;
    std::string lens1, lens2, lens3;
};

// One point's counts for the multichanneltron setup's bar display, channeltrons 1..9 at index 0..8.
struct ChannelCounts {
    std::array<double, 9> raw{};     // as counted: the percentage list
    std::array<double, 9> enabled{}; // raw x ChannelEnabled: the bars (a switched-off channel shows none)
};

class InstrumentDisplay {
public:
    virtual ~InstrumentDisplay() = default;
    virtual void showOptionsPage(int page) = 0;
    virtual void showControlLamps(std::uint8_t controlByte) = 0;
    virtual void showAnalyserReadouts(const AnalyserReadouts& readouts) = 0;
    virtual void showChannelCounts(const ChannelCounts& counts) = 0;
};

// Before the instrument windows exist nothing is shown.
class NullInstrumentDisplay final : public InstrumentDisplay {
public:
    void showOptionsPage(int) override {}
    void showControlLamps(std::uint8_t) override {}
    void showAnalyserReadouts(const AnalyserReadouts&) override {}
    void showChannelCounts(const ChannelCounts&) override {}
};

} // namespace korvo
