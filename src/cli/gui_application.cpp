#include "cli/gui_application.h"

#include <cstdlib>
#include <regex>

namespace korvo {

std::unique_ptr<QGuiApplication> guiApplication() {
    if (QGuiApplication::instance()) return nullptr;
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
