#pragma once
// What the picture-making verbs share: a GUI application for fonts and painting that needs no
// display, and the "WxH" size option.
#include <QGuiApplication>

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace korvo {

// A QGuiApplication on the offscreen platform (unless the user chose one), or nullptr when the
// process already has an application.
std::unique_ptr<QGuiApplication> guiApplication();

// "800x600" (blanks allowed, x or X): width and height; nullopt when the text is not of that form.
std::optional<std::pair<int, int>> parseSize(const std::string& text);

} // namespace korvo
