#pragma once
// Every message box and file choice of the logic code goes through this interface. The desktop
// program shows Qt message boxes; korvo-cli prints to stderr; tests record what was shown and answer
// questions from a script. Texts use "\r" as line break, as the program's messages always have; the
// Qt implementation turns it into a real line break.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvo {

// The program's "\r" line breaks as "\n", for a text printed or handed on instead of shown in a box.
inline std::string lineBreaks(std::string text) {
    for (char& c : text)
        if (c == '\r') c = '\n';
    return text;
}

enum class DialogIcon { None, Information, Warning, Error, Question };
enum class DialogButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class DialogAnswer { Ok, Cancel, Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A message box with one OK button. An empty caption means the program's own title. While
    // `divert` is set the box is not shown and the message goes there instead.
    void message(const std::string& caption, const std::string& text, DialogIcon icon) {
        if (watch) watch(caption, text, icon);
        if (divert)
            divert(caption, text);
        else
            showMessage(caption, text, icon);
    }
    // Set while a script runs unattended: its messages are recorded with the line instead of
    // waiting for a click. Questions are still asked.
    std::function<void(const std::string& caption, const std::string& text)> divert;
    // Told of every message box, shown or diverted (the run log keeps what a run reported).
    std::function<void(const std::string& caption, const std::string& text, DialogIcon icon)> watch;
    // A question; the answer is one of the buttons offered (Cancel or No when the box is closed).
    virtual DialogAnswer ask(const std::string& caption, const std::string& text, DialogIcon icon,
                             DialogButtons buttons) = 0;
    // File choices; nullopt when the user cancels.
    virtual std::optional<std::string> chooseOpenFile(const std::string& caption, const std::string& dir,
                                                      const std::string& filter) = 0;
    virtual std::optional<std::string> chooseSaveFile(const std::string& caption, const std::string& dir,
                                                      const std::string& proposed,
                                                      const std::string& filter) = 0;

    // Shorthands used throughout.
    void show(const std::string& text) { message("", text, DialogIcon::None); }
    void error(const std::string& caption, const std::string& text) {
        message(caption, text, DialogIcon::Error);
    }
    void warning(const std::string& caption, const std::string& text) {
        message(caption, text, DialogIcon::Warning);
    }
    void information(const std::string& caption, const std::string& text) {
        message(caption, text, DialogIcon::Information);
    }

protected:
    virtual void showMessage(const std::string& caption, const std::string& text, DialogIcon icon) = 0;
};

// Test implementation: records every box and answers from queues (default when a queue is empty).
class RecordingDialogs final : public Dialogs {
public:
    struct Shown {
        enum class Kind { Message, Question, OpenFile, SaveFile } kind;
        std::string caption;
        std::string text;
        DialogIcon icon = DialogIcon::None;
        DialogButtons buttons = DialogButtons::Ok;
    };

    void showMessage(const std::string& caption, const std::string& text, DialogIcon icon) override;
    DialogAnswer ask(const std::string& caption, const std::string& text, DialogIcon icon,
                     DialogButtons buttons) override;
    std::optional<std::string> chooseOpenFile(const std::string& caption, const std::string& dir,
                                              const std::string& filter) override;
    std::optional<std::string> chooseSaveFile(const std::string& caption, const std::string& dir,
                                              const std::string& proposed,
                                              const std::string& filter) override;

    std::vector<Shown> shown;
    std::deque<DialogAnswer> answers; // answers to questions, in order
    DialogAnswer defaultAnswer = DialogAnswer::Ok;
    std::deque<std::optional<std::string>> files; // answers to file choices; empty: cancel
    bool saveAcceptsProposed = false;             // with no queued file, a save choice takes the proposal

    // Texts of all boxes shown, in order (questions included).
    std::vector<std::string> texts() const;
    bool saw(const std::string& text) const;
    void clear() { shown.clear(); }
};

} // namespace korvo
