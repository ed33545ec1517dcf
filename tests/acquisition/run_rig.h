#pragma once
// A measurement set-up for run tests: virtual clock, scripted pump, recorded dialogs, a card whose
// counts are a known function of channel and analyser step, and a display that records what it got.
#include "acquisition/analyser_io/analyser_io.h"
#include "acquisition/run/run_engine.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace korvo::testing {

// Answers every gate at once: the status bit is set on the first poll after a gate start and clear
// on the next. Counter values are counts(channel, step), step = DAC settings made so far minus one.
class FormulaCard final : public PortIo {
public:
    std::function<int(int channel, int step)> counts = [](int c, int) { return c; };
    int step = -1;
    long gates = 0;

    void PortWrite(std::uint16_t port, std::uint8_t v) override {
        if (port == ports::DacHigh) ++step;
        if (port == ports::Strobe && v == 2) {
            ++gates;
            status_ = 2;
            mux_ = 0;
        }
        if (port == ports::Strobe && v == 1) ++mux_;
    }
    std::uint8_t PortRead(std::uint16_t port) override {
        if (port == ports::Status) {
            if (status_ == 0) return 0;
            return --status_ == 1 ? 0x80 : 0;
        }
        const int channel = "957638241"[mux_ % 9] - '0';
        const int value = counts(channel, step);
        return port == ports::CounterLow ? std::uint8_t(value & 0xFF) : std::uint8_t((value >> 8) & 0xFF);
    }

private:
    int status_ = 0;
    int mux_ = 0;
};

struct RecordingDisplay final : RunDisplay {
    std::vector<std::size_t> drawn;
    std::vector<std::string> labels;
    std::vector<RunControls> controls;
    std::vector<std::pair<std::int64_t, double>> chart;
    std::string info;
    void runStarted() override {}
    void drawPoint(std::size_t r) override { drawn.push_back(r); }
    void redraw() override {}
    void measurementsLabel(const std::string& t) override { labels.push_back(t); }
    void progress(const ProgressStrip&) override {}
    void controlsChanged(const RunControls& c) override { controls.push_back(c); }
    void fieldsChanged() override {}
    void infoText(const std::string& t) override { info = t; }
    void channelList(const std::vector<std::string>&) override {}
    void chartPoint(std::int64_t n, double c) override { chart.emplace_back(n, c); }
};

struct RunRig {
    // `makePort` builds the card on the rig's clock (a simulated card); without it the formula card.
    explicit RunRig(std::function<std::unique_ptr<PortIo>(VirtualClock&)> makePort = {})
        : ownPort_(makePort ? makePort(clock) : nullptr), port_(ownPort_ ? ownPort_.get() : &card),
          io(ctx, *port_, fields, state, data), saver(ctx, fields, state, data),
          engine(ctx, io, fields, state, data, saver, display) {
        state.MachineMode = ModeClam;
        dir = std::filesystem::temp_directory_path() /
              ("korvo_run_" + std::to_string(::getpid()) + "_" + std::to_string(++counter()));
        std::filesystem::create_directories(dir / "save");
        std::filesystem::create_directories(dir / "start");
        saver.saveDir = (dir / "save").string();
        saver.startDir = (dir / "start").string();
        saver.today = [] { return CalendarDate{2002, 12, 5}; };
        dialogs.saveAcceptsProposed = true;
        fields.passEnergyText = "10.0";
        fields.passEnergyIndex = 6;
        fields.kindOfMeasure = 1;
        fields.timePerPoint = "10";
    }
    ~RunRig() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    // Channel factors of the pass-energy column in use ("10.0 eV"), channeltrons 1..9.
    void setFactors(const std::array<const char*, 9>& f) {
        const int col = ctx.channels.shifts.findColumn("10.0 eV");
        for (int i = 1; i <= 9; ++i) ctx.channels.shifts.setCell(col, i, f[i - 1]);
    }
    static int& counter() {
        static int n = 0;
        return n;
    }

    VirtualClock clock;
    ScriptedPump pump;
    RecordingDialogs dialogs;
    AcquisitionContext ctx{clock, pump, dialogs};
    MeasurementFields fields;
    RunState state;
    DataBlock data;
    FormulaCard card;
    std::unique_ptr<PortIo> ownPort_;
    PortIo* port_;
    AnalyserIo io;
    MeasurementSaver saver;
    RecordingDisplay display;
    RunEngine engine;
    std::filesystem::path dir;
};

} // namespace korvo::testing
