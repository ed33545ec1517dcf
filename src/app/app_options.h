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
// Needs no application object: --help and --version are answered before QApplication, which cannot
// be built without a display.
AppOptions parseAppOptions(const QStringList& arguments);

// Whether a command line seen before QApplication may hold one of Qt's own options (-platform,
// -style, ...: a single dash before a word); only then can a mistake found in it be no mistake.
bool mayHoldQtOptions(const QStringList& arguments);

// The raw command line as main() receives it, before QApplication takes its own options out.
QStringList rawArguments(int argc, char** argv);

} // namespace korvo
