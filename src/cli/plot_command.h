#pragma once
#include "cli/workspace_load.h"

#include <CLI/CLI.hpp>

#include <iosfwd>
#include <string>
#include <vector>

namespace korvo {

// `korvo-cli plot [--size WxH] [--full-scale all|special|x|y] --out OUT.png|OUT.pdf|OUT.svg FILE...
// [--binding [--work-function EV] [--photon-energy EV]] [--scienta F] [--origin F] [--vamas F]`: the files
// loaded as one load, as `info` loads them, and the viewer's picture of them (frame and curves) written
// to OUT; the format follows the extension. With `--fit MODEL.json` the active spectrum is fitted
// with the model and the fit drawn over it as the viewer's Peak Fit window draws it. Needs no display.
// Exit status 2 on a bad size or extension, a failed load, spectra the binding axis refuses, a model
// refused for the active spectrum, an output that is one of the inputs or that cannot be written; 3
// when the fit did not converge (the picture is written all the same).
void addPlotCommand(CLI::App& app, int& exitStatus);

struct PlotRequest {
    CliLoadOptions load;
    std::string out;
    int width = 800;
    int height = 600;
    // A "&Not Scaled" command applied after the load ("all", "special", "x" or "y"); empty: each
    // spectrum keeps the range it was loaded with, as in a freshly opened viewer.
    std::string fullScale;
    // The x axis in binding energy, as the viewer's "Binding energy axis"; the two numbers as typed
    // (empty: the default work function, and no photon energy for files without one).
    bool binding = false;
    std::string workFunction;
    std::string photonEnergy;
    std::string fitModel; // a fit model file; empty: no fit
};
int runPlot(const PlotRequest& request, std::ostream& err);

} // namespace korvo
