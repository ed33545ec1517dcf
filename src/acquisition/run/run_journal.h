#pragma once
// What the run log is told about runs: a start (or its refusal, with the messages that refused it),
// the error boxes shown while a run goes on, and how it ended. The run engine opens the journal for
// the time from the press of Start to the end of the run; the saver logs its saves itself.
#include "acquisition/context.h"
#include "acquisition/run_state.h"

#include <functional>
#include <string>
#include <vector>

namespace korvo {

enum class RunEnd;

class RunJournal {
public:
    explicit RunJournal(AcquisitionContext& ctx) : ctx_(ctx) {}

    // While it lives, every message box is kept (and an error box logged at once).
    class Watch {
    public:
        explicit Watch(RunJournal& journal);
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;

    private:
        RunJournal& journal_;
        std::function<void(const std::string&, const std::string&, DialogIcon)> before_;
    };

    // The start checks refused the run: the messages they showed are the reason.
    void refused();
    // The run passed its start checks (or further scans were started).
    void started(const Measurement& m, const std::string& passEnergyText, const std::string& sample,
                 bool continuation);
    // `byUser`: Stop (or Ctrl+C) ended it, not a failure.
    void ended(RunEnd end, bool byUser, const Measurement& m);

private:
    void seen(const std::string& caption, const std::string& text, DialogIcon icon);

    AcquisitionContext& ctx_;
    bool running_ = false;             // past the start checks
    std::vector<std::string> messages_; // shown during the start checks
    std::string lastMessage_;          // the last one shown while the run went on
};

// "Korvo 02: Error ! ..." as a message box shows it, caption first.
std::string messageText(const std::string& caption, const std::string& text);

} // namespace korvo
