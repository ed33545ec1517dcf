#include "common/dialogs.h"

#include <algorithm>

namespace korvo {

void RecordingDialogs::showMessage(const std::string& caption, const std::string& text, DialogIcon icon) {
    shown.push_back({Shown::Kind::Message, caption, text, icon, DialogButtons::Ok});
}

DialogAnswer RecordingDialogs::ask(const std::string& caption, const std::string& text, DialogIcon icon,
                                   DialogButtons buttons) {
    shown.push_back({Shown::Kind::Question, caption, text, icon, buttons});
    if (answers.empty()) return defaultAnswer;
    DialogAnswer a = answers.front();
    answers.pop_front();
    return a;
}

std::optional<std::string> RecordingDialogs::chooseOpenFile(const std::string& caption,
                                                            const std::string& dir, const std::string&) {
    shown.push_back({Shown::Kind::OpenFile, caption, dir, DialogIcon::None, DialogButtons::Ok});
    if (files.empty()) return std::nullopt;
    auto f = files.front();
    files.pop_front();
    return f;
}

std::optional<std::string> RecordingDialogs::chooseSaveFile(const std::string& caption,
                                                            const std::string& dir,
                                                            const std::string& proposed, const std::string&) {
    shown.push_back({Shown::Kind::SaveFile, caption, dir, DialogIcon::None, DialogButtons::Ok});
    if (files.empty()) return saveAcceptsProposed ? std::optional<std::string>(proposed) : std::nullopt;
    auto f = files.front();
    files.pop_front();
    return f;
}

std::vector<std::string> RecordingDialogs::texts() const {
    std::vector<std::string> out;
    for (const auto& s : shown)
        if (s.kind == Shown::Kind::Message || s.kind == Shown::Kind::Question) out.push_back(s.text);
    return out;
}

bool RecordingDialogs::saw(const std::string& text) const {
    auto t = texts();
    return std::find(t.begin(), t.end(), text) != t.end();
}

} // namespace korvo
