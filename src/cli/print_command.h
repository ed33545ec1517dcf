#pragma once
#include <CLI/CLI.hpp>

#include <iosfwd>
#include <string>
#include <vector>

namespace korvo {

// `korvo-cli print --pdf OUT.pdf [--scheme CAPTION] [--rows N --columns N] [--landscape]
// [--x-factor P --y-factor P] FILE...`: the batch print of the "PrintSpec (32 bit)" window into a
// PDF file. Cells are --columns across ("Row :", spectra per row) and --rows down ("Column :",
// spectra per column); --scheme takes them and the orientation from a print scheme ("1 X 1 (vert)",
// "2 X 1", "3 X 2", "4 X 2"); the default is 2 across, 4 down, portrait, as in the window.
// Exit status: 0 all files printed; 1 the PDF was written but some files were left out (more than
// 50, unreadable, more than 6000 points); 2 nothing was written (bad options, nothing printable, the
// PDF could not be made).
void addPrintCommand(CLI::App& app, int& exitStatus);

struct PrintRequest {
    std::vector<std::string> files;
    std::string pdf;
    std::string scheme;
    std::string rows;    // empty: from the scheme or the default
    std::string columns;
    bool landscape = false;
    std::string xFactor = "100";
    std::string yFactor = "100";
};
int runPrint(const PrintRequest& request, std::ostream& out, std::ostream& err);

} // namespace korvo
