#pragma once
// The analyser routines have one instrument display; the options window shows the lamps, read-outs
// and pages, the multichanneltron setup the channel bars. This sends each call to the window that
// shows it; a part whose window does not exist yet shows nothing.
#include "acquisition/instrument_display.h"

namespace korvo {

class InstrumentDisplayRouter final : public InstrumentDisplay {
public:
    // Both must outlive the router's use by the station.
    void setOptionsDisplay(InstrumentDisplay& display) { options_ = &display; }
    void setChannelDisplay(InstrumentDisplay& display) { channels_ = &display; }

    void showOptionsPage(int page) override { options_->showOptionsPage(page); }
    void showControlLamps(std::uint8_t controlByte) override { options_->showControlLamps(controlByte); }
    void showAnalyserReadouts(const AnalyserReadouts& readouts) override {
        options_->showAnalyserReadouts(readouts);
    }
    void showChannelCounts(const ChannelCounts& counts) override { channels_->showChannelCounts(counts); }

private:
    NullInstrumentDisplay none_;
    InstrumentDisplay* options_ = &none_;
    InstrumentDisplay* channels_ = &none_;
};

} // namespace korvo
