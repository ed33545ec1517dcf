#pragma once
#include <CLI/CLI.hpp>

namespace korvo {

// `korvo-cli fit --model MODEL.json [--json] [--csv FILE] [--series] [--jobs N] FILE...`: loads the
// files as `info` does and fits the model to every loaded spectrum in load order, printing one result
// per spectrum (with --json one JSON object per line). A refused model or spectrum fits nothing and
// exits 2; a fit that did not converge (or is singular) is still printed and makes the status 3.
void addFitCommand(CLI::App& app, int& exitStatus);

} // namespace korvo
