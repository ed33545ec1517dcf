#pragma once
// Command line of the desktop program: `korvo [--card test|sim|port] [--ini FILE]`.
#include <QStringList>
#include <string>

namespace korvo {

struct AppOptions {
    std::string card;    // empty: the INI key [general] card decides
    std::string iniPath; // empty: the standard location
    bool showHelp = false;
    bool showVersion = false;
    std::string error; // a bad command line; empty when it was understood
    std::string helpText;
};

// `arguments` includes the program name as its first element, as QCoreApplication::arguments().
AppOptions parseAppOptions(const QStringList& arguments);

} // namespace korvo
