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

    AppOptions out;
    out.helpText = parser.helpText().toStdString();
    if (!parser.parse(arguments)) {
        out.error = parser.errorText().toStdString();
        return out;
    }
    out.showHelp = parser.isSet(help);
    out.showVersion = parser.isSet(version);
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

} // namespace korvo
