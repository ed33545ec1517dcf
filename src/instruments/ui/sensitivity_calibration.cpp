#include "instruments/ui/sensitivity_calibration.h"

namespace korvo {

std::optional<std::array<double, 9>> countCalibrationPoint(Station& station, std::int32_t timeMs) {
    if (station.engine.running()) return std::nullopt;
    DataBlock& data = station.measurement.data;
    const bool borrowed = data.empty();
    if (borrowed) data.resize(1);
    const MeasurementRecord kept = data[0];

    station.ctx.values.StopRequest = 0;
    station.io.ReadPoint(timeMs, 0);
    station.ctx.values.StopRequest = 1;

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
