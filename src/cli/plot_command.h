#pragma once
#include <CLI/CLI.hpp>

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class QGuiApplication;

namespace korvo {

// A GUI application on the offscreen platform for painting without a display (nullptr when one is
// running already); the print verb paints through it too.
std::unique_ptr<QGuiApplication> guiApplication();

// `korvo-cli plot [--size WxH] [--full-scale all|special|x|y] --out OUT.png|OUT.pdf|OUT.svg FILE...`: the files loaded as one load,
// as a viewer window loads them, and the viewer's picture of them (frame and curves) written to OUT;
// the format follows the extension. Needs no display. Exit status 2 on a bad size or extension, a
// failed load or an output that cannot be written.
void addPlotCommand(CLI::App& app, int& exitStatus);

struct PlotRequest {
    std::vector<std::string> files;
    std::string out;
    int width = 800;
    int height = 600;
    // A "&Not Scaled" command applied after the load ("all", "special", "x" or "y"); empty: each
    // spectrum keeps the range it was loaded with, as in a freshly opened viewer.
    std::string fullScale;
};
int runPlot(const PlotRequest& request, std::ostream& err);

} // namespace korvo
