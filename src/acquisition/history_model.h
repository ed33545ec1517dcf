#pragma once
// The parameter sets of the measurements started since the program started: up to 50 distinct sets,
// each with a key text, a use counter and an 11-column row for the history window. The run adds an
// entry when a measurement begins; the history window shows the rows and copies one back.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace korvo {

struct MeasurementFields;
struct RunState;

// What one measurement start contributes to the history.
struct HistoryEntry {
    std::uint8_t machineMode = 2;
    int kindOfMeasure = 0;
    int referenceChannel = 5;
    std::string start;      // start field as typed
    double storedStart = 0; // start and ramp as last sent to the analyser
    double storedRamp = 0;
    std::int32_t points = 0;
    std::string scans; // scans field as typed
    std::string passEnergy;
    std::string timePerPoint;
    double photonStart = 0;

    static HistoryEntry from(const MeasurementFields& fields, const RunState& run, double storedStart,
                             double storedRamp);
};

class HistoryModel {
public:
    static constexpr int kSize = 50;
    static constexpr int kColumns = 11;
    using Row = std::array<std::string, kColumns>;

    // Entry and row indices run from 1 to 50; outside that range the accessors give empty values.
    const std::string& key(int index) const;
    int hits(int index) const;
    const Row& row(int index) const;
    // Running entry number: counts every new parameter set, also past 50.
    int count() const { return count_; }
    int selectedRow() const { return selectedRow_; }
    int topRow() const { return topRow_; }
    void setSelectedRow(int row) { selectedRow_ = row; }

    // Records one measurement start; returns the index (1..50) of the entry that was used.
    int add(const HistoryEntry& entry);
    // "Clear History": number back to 0, every key, counter and cell emptied.
    void clear();

    // Called after every add and clear, so that an open history window shows the change at once.
    std::function<void()> changed;

    static std::string keyOf(const HistoryEntry& entry);
    // "CLAM", "CLAM_CFS_<ref>", "CLAM_CIS_<ref>", "KEITHLEY"; empty for the test mode.
    static std::string machineName(std::uint8_t machineMode, int referenceChannel);
    // "c(t)", "CAE", "CRR" by index (the Keithley mode's "KEI" is index 1 and shows as "CAE").
    static std::string kindName(int kindOfMeasure);
    // End of the energy range: start + ramp, plus 10 when the ramp is 0 (a c(t) chart).
    static double endOf(const HistoryEntry& entry);

private:
    std::array<std::string, kSize + 1> keys_{};
    std::array<int, kSize + 1> hits_{};
    std::array<Row, kSize + 1> rows_{};
    int count_ = 0;
    int selectedRow_ = 0;
    int topRow_ = 1;
};

} // namespace korvo
