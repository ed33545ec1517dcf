#pragma once
// What the run shows while it goes: the main window (live plot, run buttons, labels) implements
// RunDisplay; korvo-cli prints; tests record. The run never waits for the display: during a scan it
// hands over only the record that has just been completed, full redraws come at scale changes and
// scan ends.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvo {

// State of the run buttons and of the two menus that a run locks. The main window mirrors it into its
// controls whenever controlsChanged() arrives; captions are derived from the state.
struct RunControls {
    enum class Phase {
        Idle,     // no run
        Running,  // a run is measuring
        Stopping, // Stop was pressed; the run winds down to its end
    };
    Phase phase = Phase::Idle;
    bool paused = false;          // "Wait" pressed during the run
    bool continueOffered = false; // idle after a run whose scans may be continued
    bool continueEnabled = false;
    bool skipEnabled = false;
    bool lastScanEnabled = false;
    bool saveEnabled = false;
    bool kindEnabled = true;  // kind-of-measurement box
    bool menusEnabled = true; // "Machine" and "Measure" menus

    bool running() const { return phase != Phase::Idle; }
    const char* startCaption() const { return phase == Phase::Running ? "Stop" : "Start"; }
    const char* continueCaption() const {
        return (running() ? paused : continueOffered) ? "Continue" : "Wait";
    }
};

// The 100 x 17 pixel progress strip, as three fills drawn from the left in this order.
struct ProgressStrip {
    static constexpr int width = 100;
    static constexpr int height = 17;
    static constexpr std::uint32_t backgroundColour = 0xFF8080; // whole strip
    static constexpr std::uint32_t extraColour = 0x8080FF;      // extra points of the channel shifts
    static constexpr std::uint32_t doneColour = 0x80FF80;       // analyser steps done in this scan
    int extraWidth = 0;
    int doneWidth = 0;
};

// Scale and cursor state of the live plot. The run sets the x range and moves the y range while it
// auto-scales; the display reads it and changes it (scroll bar, cursors, auto-scale box).
struct PlotScale {
    double xStart = 0, xEnd = 0;
    double yMin = 1e20, yMax = -1e20;
    bool autoScale = true;
    double cursor1 = 0, cursor2 = 0;
    std::uint32_t currentPointColour = 0xDDCCCC;
    bool drawEnabled = false;
};

class RunDisplay {
public:
    virtual ~RunDisplay() = default;
    // A run begins: show the cursor labels, put the "oben" scroll bar to its minimum, tick the
    // auto-scale box and leave cursor mode (the scale itself is already reset in PlotScale).
    virtual void runStarted() = 0;
    // Record `record` of the data block has just been completed; draw it and nothing else.
    virtual void drawPoint(std::size_t record) = 0;
    virtual void redraw() = 0;
    // "Scan : 2    Time left : 04:15    Time left (scan) : 00:51"
    virtual void measurementsLabel(const std::string& text) = 0;
    virtual void progress(const ProgressStrip& strip) = 0;
    virtual void controlsChanged(const RunControls& controls) = 0;
    // The run changed field texts (second or third field, pass-energy selection, scans, file name,
    // photon field, the two view captions); copy MeasurementFields back into the controls.
    virtual void fieldsChanged() = 0;
    // The info box: the energy range chosen ("Xmax = 163.84 eV"), and the extra points of the channel
    // shifts (shown as "<n> Extra Points").
    virtual void rangeText(const std::string& text) = 0;
    virtual void extraPoints(std::int64_t count) = 0;
    // The "Energy Positions" channel list.
    virtual void channelList(const std::vector<std::string>& items) = 0;
    // c(t) chart: the n-th point of the run (counting from 0, never wrapped) was counted.
    virtual void chartPoint(std::int64_t n, double counts) {}
};

class NullRunDisplay final : public RunDisplay {
public:
    void runStarted() override {}
    void drawPoint(std::size_t) override {}
    void redraw() override {}
    void measurementsLabel(const std::string&) override {}
    void progress(const ProgressStrip&) override {}
    void controlsChanged(const RunControls&) override {}
    void fieldsChanged() override {}
    void rangeText(const std::string&) override {}
    void extraPoints(std::int64_t) override {}
    void channelList(const std::vector<std::string>&) override {}
};

} // namespace korvo
