#include "instrument_windows/sensitivity_calibration.h"

namespace korvo {

std::optional<std::string> calibrationRefusal(const Station& station) {
    if (station.state.MachineMode == ModeKeithley)
        return "No sensitivity calibration in the Keithley mode: the electrometer is read instead of the "
               "channeltrons !";
    if (station.ctx.options.electrometerOverride)
        return "No sensitivity calibration while \"overide\" is ticked: the electrometer is read instead of "
               "the channeltrons !";
    return std::nullopt;
}

std::optional<std::array<double, 9>> countCalibrationPoint(Station& station, std::int32_t timeMs) {
    if (station.engine.running() || calibrationRefusal(station)) return std::nullopt;
    DataBlock& data = station.measurement.data;
    const bool borrowed = data.empty();
    if (borrowed) data.resize(1);
    const MeasurementRecord kept = data[0];
    // The card routines count in the mode of the last run; the calibration counts in the window's.
    std::uint8_t& mode = station.measurement.state.MachineMode;
    const std::uint8_t lastRunMode = mode;
    mode = station.state.MachineMode;

    station.ctx.values.StopRequest = 0;
    station.io.ReadPoint(timeMs, 0);
    station.ctx.values.StopRequest = 1;
    mode = lastRunMode;

    std::array<double, 9> counts{};
    if (!data.empty()) {
        for (int c = 1; c <= 9; ++c) counts[c - 1] = data[0].CoScan[c];
        if (borrowed)
            data.clear();
        else
            data[0] = kept;
    }
    return counts;
}

} // namespace korvo
