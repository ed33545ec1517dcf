#pragma once
#include <CLI/CLI.hpp>

namespace korvo {

// `korvo-cli export --origin|--raw|--surfer|--eps|--vamas [--all] [--size WxH] --out PATH FILE...`:
// the files loaded as one load, as a viewer window loads them, and written in one of the viewer's
// export forms by the same code as its menu items. Without --all the column and VAMAS files hold the
// active spectrum after the load, as a fresh viewer with that spectrum marked would write them; the
// Surfer grid and the EPS pictures always take every shown spectrum. --eps writes the pictures,
// "test.bmp" and "fit.tex" into the directory PATH. Exit status 2 when nothing was written as asked.
void addExportCommand(CLI::App& app, int& exitStatus);

} // namespace korvo
