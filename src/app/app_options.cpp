#include "app/app_options.h"

#include <QCommandLineParser>

namespace korvo {

AppOptions parseAppOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Korvo: electron spectroscopy acquisition"));
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();
    QCommandLineOption card(QStringLiteral("card"),
                            QStringLiteral("Analyser card back end: test (none), sim (simulated) or port."),
                            QStringLiteral("kind"));
    QCommandLineOption ini(QStringLiteral("ini"), QStringLiteral("Settings file to use."),
                           QStringLiteral("file"));
    parser.addOption(card);
    parser.addOption(ini);

    // Qt's own single-dash options (-platform, -reverse, -stylesheet) must not read as bundles of
    // -h and -v when the command line is looked at before QApplication has taken them out.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);

    AppOptions out;
    QString helpText = parser.helpText();
    // Without an application object Qt cannot name the program in the usage line.
    helpText.replace(QStringLiteral("<executable_name>"), arguments.value(0, QStringLiteral("korvo")));
    out.helpText = helpText.toStdString();
    const bool understood = parser.parse(arguments);
    // Asked for help or the version, the user gets it even beside a mistake. --help-all would add
    // Qt's own options, which only an application object knows; it gets the same help.
    out.showHelp = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"));
    out.showVersion = parser.isSet(version);
    if (!understood) {
        out.error = parser.errorText().toStdString();
        return out;
    }
    if (!parser.positionalArguments().isEmpty()) {
        out.error = "Unexpected argument: " + parser.positionalArguments().first().toStdString();
        return out;
    }
    if (parser.isSet(card)) {
        const QString kind = parser.value(card);
        if (kind != QLatin1String("test") && kind != QLatin1String("sim") && kind != QLatin1String("port")) {
            out.error = "--card must be test, sim or port, not \"" + kind.toStdString() + "\"";
            return out;
        }
        out.card = kind.toStdString();
    }
    if (parser.isSet(ini)) {
        out.iniPath = parser.value(ini).toStdString();
        if (out.iniPath.empty()) out.error = "--ini needs a file name";
    }
    return out;
}

bool mayHoldQtOptions(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--")) break;
        if (a.startsWith(QLatin1Char('-')) && !a.startsWith(QLatin1String("--")) && a.size() > 2) return true;
    }
    return false;
}

QStringList rawArguments(int argc, char** argv) {
    QStringList out;
    for (int i = 0; i < argc; ++i) out << QString::fromLocal8Bit(argv[i]);
    return out;
}

} // namespace korvo
