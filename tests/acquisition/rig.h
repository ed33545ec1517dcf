#pragma once
// Station set-ups for tests: a station on a virtual clock, a scripted pump, recorded dialogs and fake
// instruments around a card; the run rig saves into a temporary directory and records what the run
// showed.
#include "acquisition/run/run_validation.h"
#include "acquisition/station.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "fake_instruments.h"
#include "support/temp_dir.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvo::testing {

struct CardRig {
    explicit CardRig(PortIo& port) : CardRig(port, ownClock) {}
    // Shares `clock` with a simulated card, so that its gates run on the routines' time.
    CardRig(PortIo& port, VirtualClock& sharedClock) : clock(sharedClock), station(ctx, port) {
        links.install(station.devices);
        station.io.setDisplay(links);
        state.MachineMode = ModeClam;
        settings.MachineMode = ModeClam;
        data.resize(4);
    }
    VirtualClock ownClock;
    VirtualClock& clock;
    ScriptedPump pump;
    RecordingDialogs dialogs;
    AcquisitionContext ctx{clock, pump, dialogs};
    FakeInstruments links{ctx.values};
    Station station;
    MeasurementFields& fields = station.fields;
    RunState& settings = station.state; // the window's parameter state: where a new run starts from
    Measurement& measurement = station.measurement;
    RunState& state = measurement.state; // the run's state, as the card routines and the run use it
    DataBlock& data = measurement.data;
    AnalyserIo& io = station.io;
    SettingsStore& store = station.settings.store;
};

// Answers every gate at once: the status bit is set on the first poll after a gate start and clear
// on the next. Counter values are counts(channel, step), step = DAC settings made so far minus one.
class FormulaCard final : public PortIo {
public:
    std::function<int(int channel, int step)> counts = [](int c, int) { return c; };
    int step = -1;
    long gates = 0;
    std::vector<std::uint16_t> words; // DAC words in the order they were set

    void PortWrite(std::uint16_t port, std::uint8_t v) override {
        if (port == ports::DacLow) low_ = v;
        if (port == ports::DacHigh) {
            ++step;
            words.push_back(std::uint16_t(low_ | v << 8));
        }
        if (port == ports::Strobe && v == 2) {
            ++gates;
            status_ = 2;
            mux_ = 0;
        }
        if (port == ports::Strobe && v == 1) ++mux_;
    }
    std::uint8_t PortRead(std::uint16_t port) override {
        if (port == ports::Status) return status_ > 0 && --status_ == 1 ? 0x80 : 0;
        const int value = counts("957638241"[mux_ % 9] - '0', step);
        return port == ports::CounterLow ? std::uint8_t(value & 0xFF) : std::uint8_t((value >> 8) & 0xFF);
    }

private:
    int status_ = 0;
    int mux_ = 0;
    std::uint8_t low_ = 0;
};

struct RecordingDisplay final : RunDisplay {
    std::vector<std::size_t> drawn;
    std::vector<std::string> labels;
    std::vector<std::pair<std::int64_t, double>> chart;
    std::vector<std::string> channelItems; // the "Energy Positions" list as last shown
    std::vector<std::string> ranges;       // "Xmax = ..." texts
    std::vector<std::int64_t> extra;       // extra-point counts
    std::vector<ProgressStrip> strips;
    std::function<void()> onFieldsChanged; // the window would show the fields again here
    int fieldsShown = 0;
    void runStarted() override {}
    void drawPoint(std::size_t r) override { drawn.push_back(r); }
    int redraws = 0; // the whole picture drawn again
    void redraw() override { ++redraws; }
    void measurementsLabel(const std::string& t) override { labels.push_back(t); }
    void progress(const ProgressStrip& p) override { strips.push_back(p); }
    std::vector<RunControls> controls; // every state of the buttons shown
    void controlsChanged(const RunControls& c) override { controls.push_back(c); }
    void fieldsChanged() override {
        ++fieldsShown;
        if (onFieldsChanged) onFieldsChanged();
    }
    void rangeText(const std::string& t) override { ranges.push_back(t); }
    void extraPoints(std::int64_t n) override { extra.push_back(n); }
    void channelList(const std::vector<std::string>& items) override { channelItems = items; }
    void chartPoint(std::int64_t n, double c) override { chart.emplace_back(n, c); }
};

struct RunPort {
    VirtualClock runClock;
    FormulaCard card;
    std::unique_ptr<PortIo> own;
};

struct RunRig : RunPort, CardRig {
    // `makePort` builds the card on the rig's clock (a simulated card); without it the formula card.
    explicit RunRig(std::function<std::unique_ptr<PortIo>(VirtualClock&)> makePort = {})
        : RunPort{{}, {}, nullptr}, CardRig(portOf(*this, makePort), runClock) {
        station.engine.setDisplay(display);
        std::filesystem::create_directories(dir / "save");
        std::filesystem::create_directories(dir / "start");
        store.saveDir = (dir / "save").string();
        store.startDir = (dir / "start").string();
        saver.today = [] { return CalendarDate{2002, 12, 5}; };
        dialogs.saveAcceptsProposed = true;
        fields.passEnergyText = "10.0";
        fields.passEnergyIndex = 6;
        fields.kindOfMeasure = 1;
        fields.timePerPoint = "10";
        data.clear();
    }
    static PortIo& portOf(RunPort& p, const std::function<std::unique_ptr<PortIo>(VirtualClock&)>& make) {
        if (make) p.own = make(p.runClock);
        return p.own ? *p.own : p.card;
    }
    // Mode 2 energy scan of `points` points from 100 eV over 10 eV, no channel shifts unless set.
    void energyScan(int points, int scans) {
        setFactors({"0", "0", "0", "0", "0", "0", "0", "0", "0"});
        fields.start = "100";
        fields.second = "10";
        fields.third = std::to_string(points);
        fields.scans = std::to_string(scans);
    }
    // Channel factors of a pass-energy column (by default the one in use), channeltrons 1..9.
    void setFactors(const std::array<const char*, 9>& f, const std::string& header = "10.0 eV") {
        const int col = ctx.channels.shifts.findColumn(header);
        for (int i = 1; i <= 9; ++i) ctx.channels.shifts.setCell(col, i, f[i - 1]);
    }

    // The start checks of a new run on the fields, with nothing shown before; true when it may start.
    bool validate() {
        ctx.values.StopRequest = 0;
        dialogs.clear();
        display = RecordingDisplay{};
        return validateNewRun(ctx, fields, state, display);
    }

    TempDir tmp;
    const std::filesystem::path& dir = tmp.path;
    MeasurementSaver& saver = station.saver;
    RunEngine& engine = station.engine;
    RecordingDisplay display;
};

// The ring-current poll as the run sees it: on, with `current` read just now (good for a minute).
inline void polled(RunRig& rig, double current) {
    rig.ctx.values.RingCurrent = current;
    RingPollState& p = rig.ctx.values.ringPoll;
    p.polling = true;
    p.firstReadPending = false;
    p.readAtMs = rig.clock.nowMs();
    p.staleAfterMs = 60000;
    p.failure.clear();
}

} // namespace korvo::testing
