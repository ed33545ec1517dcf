#pragma once
#include <CLI/CLI.hpp>

namespace korvo {

// `korvo-cli mail --to ADDR [--subject S] [--body B] [--attach FILE] [--ini FILE]`: sends the e-mail
// alert's test mail through the server of the settings' [mail] section. Exit status 2 with
// "Error sending mail (N)." and the transport's reason on stderr when it was not sent.
void addMailCommand(CLI::App& app, int& exitStatus);

} // namespace korvo
