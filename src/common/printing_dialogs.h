#pragma once
// Dialogs of a program without windows (korvo-cli, korvo-tango): nobody is there to click.
#include "common/dialogs.h"

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

namespace korvo {

// Messages to stderr, word for word; questions take their default answer, the save dialog the file
// given (korvo-cli's --out) or the proposed name.
class PrintingDialogs final : public Dialogs {
public:
    explicit PrintingDialogs(std::string out) : out_(std::move(out)) {}
    int shown = 0;
    void showMessage(const std::string& caption, const std::string& text, DialogIcon) override {
        ++shown;
        std::cerr << (caption.empty() ? "" : caption + ": ") << lineBreaks(text) << "\n";
    }
    DialogAnswer ask(const std::string& caption, const std::string& text, DialogIcon,
                     DialogButtons buttons) override {
        const DialogAnswer a = buttons == DialogButtons::YesNo || buttons == DialogButtons::YesNoCancel
                                   ? DialogAnswer::Yes
                                   : DialogAnswer::Ok;
        std::cerr << (caption.empty() ? "" : caption + ": ") << lineBreaks(text) << " -> "
                  << (a == DialogAnswer::Yes ? "Yes" : "OK") << "\n";
        return a;
    }
    std::optional<std::string> chooseOpenFile(const std::string&, const std::string&,
                                              const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> chooseSaveFile(const std::string&, const std::string& dir,
                                              const std::string& proposed, const std::string&) override {
        if (!out_.empty()) return out_;
        return dir.empty() ? proposed : (std::filesystem::path(dir) / proposed).string();
    }

private:
    std::string out_;
};

} // namespace korvo
