#pragma once
#include "cli/workspace_load.h"

#include <CLI/CLI.hpp>

#include <iosfwd>
#include <string>
#include <vector>

namespace korvo {

// `korvo-cli plot [--size WxH] [--full-scale all|special|x|y] --out OUT.png|OUT.pdf|OUT.svg FILE...
// [--scienta F] [--origin F] [--vamas F]`: the files loaded as one load, as `info` loads them, and the
// viewer's picture of them (frame and curves) written to OUT; the format follows the extension. Needs
// no display. Exit status 2 on a bad size or extension, a failed load, an output that is one of the
// inputs or that cannot be written.
void addPlotCommand(CLI::App& app, int& exitStatus);

struct PlotRequest {
    CliLoadOptions load;
    std::string out;
    int width = 800;
    int height = 600;
    // A "&Not Scaled" command applied after the load ("all", "special", "x" or "y"); empty: each
    // spectrum keeps the range it was loaded with, as in a freshly opened viewer.
    std::string fullScale;
};
int runPlot(const PlotRequest& request, std::ostream& err);

} // namespace korvo
