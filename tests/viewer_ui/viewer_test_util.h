#pragma once
// Workspaces and spectrum files for the viewer window tests.
#include "files/spectrum_writer.h"
#include "files/spectrum_test_util.h"
#include "viewer/workspace.h"

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace korvo::testing {

using Points = std::vector<std::pair<double, double>>;

// A workspace with the given spectra, all shown in number order, spectrum 1 active, each with its
// loaded range spanning its points and the view at that range. The box is 467 x 440 pixels, which
// leaves a data area of 400 x 400.
inline tvar makeWorkspace(const std::vector<Points>& spectra) {
    tvar ws;
    ws.PlotWidth = 467;
    ws.PlotHeight = 440;
    ws.pool.assign(1, SpectrumPoint{});
    int k = 0;
    for (const Points& pts : spectra) {
        ++k;
        ViewerSpectrum& s = ws.spectrum(k);
        s.ShortName = "sp" + std::to_string(k) + ".dat";
        s.FileName = "/data/" + s.ShortName;
        s.SampleText = "Probe: sample " + std::to_string(k);
        s.NumPoints = static_cast<int>(pts.size());
        double xLo = 1e300, xHi = -1e300, yLo = 1e300, yHi = -1e300;
        for (const auto& [x, y] : pts) {
            ws.pool.push_back(SpectrumPoint{x, y});
            xLo = std::min(xLo, x), xHi = std::max(xHi, x), yLo = std::min(yLo, y), yHi = std::max(yHi, y);
        }
        s.XMin = s.XMinOrig = xLo;
        s.XMax = s.XMaxOrig = xHi;
        s.YMin = s.YMinOrig = yLo;
        s.YMax = s.YMaxOrig = s.YTop = yHi;
        ws.Order[std::size_t(k)] = static_cast<std::uint16_t>(k);
    }
    ws.recomputePoolStarts(k);
    ws.ShownCount = k;
    ws.Active = k > 0 ? 1 : 0;
    for (int i = 1; i <= k; ++i) ws.recomputeScale(i);
    return ws;
}

// Points x = x0, x0 + step, ... with counts from f.
template <typename F> Points sampled(int n, double x0, double step, F f) {
    Points pts;
    for (int i = 0; i < n; ++i) pts.emplace_back(x0 + step * i, f(x0 + step * i));
    return pts;
}

// A spectrum file as a measurement writes it: `points` points from `start` eV in steps of 0.1 eV
// with a peak at `peak` eV over a sloping background.
inline bool writeSpectrum(const std::string& path, double start, int points, double peak, std::string sample) {
    SpectrumHeader h = clamHeader();
    h.points = points;
    h.analyserStart = start;
    h.ramp = 0.1;
    h.sample = std::move(sample);
    h.fileName = path;
    DataBlock block(static_cast<std::size_t>(1 + points));
    for (int i = 1; i <= points; ++i) {
        MeasurementRecord& r = block[std::size_t(i)];
        r.Energy = start + 0.1 * (i - 1);
        const double d = (r.Energy - peak) / 0.8;
        r.Co[0] = 200 + 3 * (i - 1) + 5000 * std::exp(-d * d);
    }
    return saveSpectrumFile(path, h, SpectrumSaveOptions{}, block);
}

} // namespace korvo::testing
