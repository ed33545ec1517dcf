#pragma once
// Everything the acquisition reads from the instrument side, and every instrument operation it calls,
// in one object per program run. Values carry their defaults before the windows that own them exist;
// operations on links that are not connected behave as the links do when disconnected.
#include "acquisition/channel_shift_table.h"
#include "acquisition/history_model.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"

#include <array>
#include <cstdint>
#include <string>

namespace korvo {

// Option values owned by the options window.
struct AcquisitionOptions {
    bool testWithoutAnalyser = false;  // "Test (without Analysator)": no port is written, counts simulated
    bool testSwitchEnabled = true;     // cleared when no analyser card answered at start-up
    bool enableTests = false;          // "Enable all tests": offers "CRR", shows "Zufall"
    bool electrometerOverride = false; // "overide" of electrometer 1: every point reads electrometer 1
    bool ringCurrentOverwrite = false; // test mode only: channel 5 of every point becomes RingCurrent
    bool saveExtraPoints = false;      // [general] SaveExtrapoints
    bool saveRawData = false;          // [general] SaveRawData
    std::string switchPoint1 = "80";   // upper limit of the 81.92 eV range
    std::string switchPoint2 = "140";  // upper limit of the 163.84 eV range
    std::string switchPoint3 = "1600"; // upper limit of the 1638.4 eV range
    int lensIndex = -1;                // "Lens Mode 1".."Lens Mode 5"; -1: none chosen
    std::int32_t timeCorrection = 10;  // ms per point added in the time-left estimate
    std::string keiScale = "1E+04";    // electrometer scaling factor text
    bool addKeithley1 = false;         // "Add Keithley  &1" ticked
    bool addKeithley2 = false;         // "Add Keithley  &2" ticked
};

// Channel values owned by the multichanneltron setup.
struct ChannelOptions {
    ChannelShiftTable shifts;
    std::array<bool, 9> enabled{true, true, true, true, true, true, true, true, true};
    bool view = false; // hand every point's nine counts to the setup window's bar display
};

struct Rgb {
    std::uint8_t r, g, b;
};
// Index 0 grey, 1..9 the colours of channeltrons 1..9.
extern const std::array<Rgb, 10> kChannelColours;

// Window colours are kept as the numbers the program has always used: 0x00BBGGRR.
inline Rgb rgbFromColourNumber(std::uint32_t c) {
    return {static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>((c >> 8) & 0xFF),
            static_cast<std::uint8_t>((c >> 16) & 0xFF)};
}

// Caption of every error box of the instrument links.
inline constexpr const char* kInstrumentCaption = "Korvo 02";

// Results of instrument operations, read by the caller after the operation returned.
struct InstrumentValues {
    double RingCurrent = -1.0; // mA; kept when a reading fails
    double KeiValue = 0.0;     // last scaled electrometer reading; kept when a reading fails
    int MonoError = 0;         // 0 = success
    bool MonoQuiet = false;    // suppresses the monochromator link's own error boxes
    bool MonoStopRequest = false;
    std::uint8_t StopRequest = 0; // the run's abort flag; every instrument failure sets it
};

// Analyser read-outs shown on the options window after every DAC setting: complete label texts such
// as "&Inner Hemisphere : - 80.3 V". The lens texts are empty while no lens table is chosen.
struct AnalyserReadouts {
    std::string voltage, monitor, inner, outer, retard;
    std::string lens1, lens2, lens3;
};

// One point's counts for the multichanneltron setup's bar display, channeltrons 1..9 at index 0..8.
struct ChannelCounts {
    std::array<double, 9> raw{};     // as counted: the percentage list
    std::array<double, 9> enabled{}; // raw x ChannelEnabled: the bars (a switched-off channel shows none)
};

// The operations the acquisition calls on the instrument side. Each runs on the one thread and
// returns after its waits; while waiting it pumps events. Results go to InstrumentValues.
class InstrumentLinks {
public:
    virtual ~InstrumentLinks() = default;
    virtual bool monoConnected() const = 0;
    // Target energy in eV (the text placed into the link's energy box).
    virtual void MonoGoEnergy(const std::string& energyText) = 0;
    virtual void MonoStop() = 0;
    virtual void MonoOpen() = 0;
    virtual void MonoClose() = 0;
    virtual void MonoGetPosition() = 0;
    virtual std::string monoZeroOrderText() const = 0;
    virtual void KeiRead1() = 0;
    virtual void KeiRead2() = 0;
    virtual void DriveAutoMove(const std::string& targetAngle) = 0;
    virtual void MoveAxisA(const std::string& targetAngle) = 0;
    virtual void MoveAxisB(const std::string& targetAngle) = 0;
    // Display-only hooks of the options and multichanneltron windows.
    virtual void showOptionsPage(int page) = 0;
    virtual void showControlLamps(std::uint8_t controlByte) = 0;
    virtual void showReadouts(const std::string& voltage, const std::string& monitor,
                              const std::string& inner, const std::string& outer,
                              const std::string& retard) = 0;
    virtual void showChannelCounts(const ChannelCounts& counts) = 0;
    // All analyser read-outs at once; windows that show the lens voltages override it.
    virtual void showAnalyserReadouts(const AnalyserReadouts& r) {
        showReadouts(r.voltage, r.monitor, r.inner, r.outer, r.retard);
    }
};

struct AcquisitionContext;

// The links as they behave before any serial port is connected.
class UnconnectedInstruments final : public InstrumentLinks {
public:
    explicit UnconnectedInstruments(AcquisitionContext& ctx) : ctx_(ctx) {}
    bool monoConnected() const override { return false; }
    void MonoGoEnergy(const std::string& energyText) override;
    void MonoStop() override;
    void MonoOpen() override;
    void MonoClose() override;
    void MonoGetPosition() override;
    std::string monoZeroOrderText() const override { return "0"; }
    void KeiRead1() override;
    void KeiRead2() override;
    void DriveAutoMove(const std::string& targetAngle) override;
    void MoveAxisA(const std::string&) override {}
    void MoveAxisB(const std::string&) override {}
    void showOptionsPage(int) override {}
    void showControlLamps(std::uint8_t) override {}
    void showReadouts(const std::string&, const std::string&, const std::string&, const std::string&,
                      const std::string&) override {}
    void showChannelCounts(const ChannelCounts&) override {}

    // Time-out texts of the links' pages at their defaults (seconds).
    static constexpr int kKeithleyTimeoutS = 5;
    static constexpr int kDriveTimeoutS = 3;

private:
    // Keeps the interface alive for `ms` milliseconds, the way the links' waits do.
    void pumpFor(std::int64_t ms);
    void keiRead();
    void driveRequestTimesOut();
    AcquisitionContext& ctx_;
};

struct AcquisitionContext {
    AcquisitionContext(Clock& c, EventPump& p, Dialogs& d) : clock(c), pump(p), dialogs(d) {}

    Clock& clock;
    EventPump& pump;
    Dialogs& dialogs;
    AcquisitionOptions options;
    ChannelOptions channels;
    InstrumentValues values;
    HistoryModel history;
    // Never null: the disconnected links until real ones are plugged in.
    InstrumentLinks* links = &unconnected_;

private:
    UnconnectedInstruments unconnected_{*this};
};

} // namespace korvo
