#include "cli/gui_application.h"

#include <cstdlib>
#include <regex>

namespace korvo {
namespace {

QtMessageHandler gQtHandler = nullptr;

// A batch run outside a desktop session has no XDG_RUNTIME_DIR, and Qt says so on every start of its
// GUI part, although a picture or PDF needs no runtime directory: that one line is dropped. Every
// other message goes where Qt would have sent it.
void withoutRuntimeDirNotice(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
    if (gQtHandler) gQtHandler(type, context, text);
}

} // namespace

std::unique_ptr<QGuiApplication> guiApplication() {
    if (QGuiApplication::instance()) return nullptr;
    static const bool installed = [] {
        gQtHandler = qInstallMessageHandler(withoutRuntimeDirNotice);
        return true;
    }();
    (void)installed;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "korvo-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

std::optional<std::pair<int, int>> parseSize(const std::string& text) {
    static const std::regex pattern(R"(\s*(\d{1,6})\s*[xX]\s*(\d{1,6})\s*)");
    std::smatch m;
    if (!std::regex_match(text, m, pattern)) return std::nullopt;
    return std::make_pair(std::atoi(m[1].str().c_str()), std::atoi(m[2].str().c_str()));
}

} // namespace korvo
