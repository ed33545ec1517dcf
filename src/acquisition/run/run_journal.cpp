#include "acquisition/run/run_journal.h"

#include "acquisition/run/run_engine.h"
#include "acquisition/run/saving.h"
#include "common/number_text.h"

namespace korvo {

std::string messageText(const std::string& caption, const std::string& text) {
    return caption.empty() ? text : caption + ": " + text;
}

RunJournal::Watch::Watch(RunJournal& journal) : journal_(journal) {
    journal_.running_ = false;
    journal_.messages_.clear();
    journal_.lastMessage_.clear();
    Dialogs& d = journal_.ctx_.dialogs;
    before_ = d.watch;
    d.watch = [this](const std::string& caption, const std::string& text, DialogIcon icon) {
        if (before_) before_(caption, text, icon);
        journal_.seen(caption, text, icon);
    };
}

RunJournal::Watch::~Watch() {
    journal_.ctx_.dialogs.watch = std::move(before_);
}

void RunJournal::seen(const std::string& caption, const std::string& text, DialogIcon icon) {
    const std::string shown = messageText(caption, text);
    if (!running_) {
        messages_.push_back(shown);
        return;
    }
    lastMessage_ = shown;
    // An instrument that fails in the night: the box waits for a click, the log has it at once.
    if (icon == DialogIcon::Error) ctx_.runLog().record("error", shown);
}

namespace {

std::string joined(const std::vector<std::string>& texts) {
    std::string out;
    for (const std::string& t : texts) out += (out.empty() ? "" : " | ") + t;
    return out;
}

} // namespace

void RunJournal::refused() {
    ctx_.runLog().record("refused", messages_.empty() ? "the start checks failed" : joined(messages_));
    messages_.clear();
}

void RunJournal::started(const Measurement& m, const std::string& passEnergyText, const std::string& sample,
                         bool continuation) {
    running_ = true;
    const RunState& s = m.state;
    if (continuation) {
        ctx_.runLog().record("continue", "scans " + std::to_string(s.ScanNumber) + " to " +
                                             std::to_string(s.ScansTarget));
        return;
    }
    std::string d = machineModeName(s.MachineMode);
    if (d.empty()) d = "OFF";
    d += " " + kindText(s.MachineMode, m.kindOfMeasure);
    if (m.kindOfMeasure != 0)
        d += ", " + text::plainNumber(s.XStart) + " to " + text::plainNumber(s.XEnd) + " eV, " +
             std::to_string(s.Points) + " points, " + std::to_string(s.ScansTarget) +
             (s.ScansTarget == 1 ? " scan" : " scans");
    d += ", " + std::to_string(s.TimePerPoint) + " ms per point";
    if (s.MachineMode != ModeKeithley) d += ", pass energy " + passEnergyText;
    d += ", photon " + text::plainNumber(s.PhotonStart) + " eV, sample " + sample;
    // What the start checks changed on the way (a pass energy, a step) belongs to the start.
    if (!messages_.empty()) d += " | " + joined(messages_);
    messages_.clear();
    ctx_.runLog().record("start", d);
}

void RunJournal::ended(RunEnd end, bool byUser, const Measurement& m) {
    if (end == RunEnd::Refused || end == RunEnd::None) return;
    const RunState& s = m.state;
    const bool chart = m.kindOfMeasure == 0;
    // The scan counter stands at the scan under way, or one past the last one measured.
    const std::string scan = std::to_string(end == RunEnd::Stopped ? s.ScanNumber : s.ScanNumber - 1) + " of " +
                             std::to_string(s.ScansTarget);
    std::string d;
    if (end == RunEnd::Normal) {
        d = "normal after scan " + scan;
    } else {
        d = byUser ? "stopped by the user" : "failed";
        if (!chart) d += (end == RunEnd::Stopped ? " in scan " : " after scan ") + scan;
        if (!byUser) d += ": " + (lastMessage_.empty() ? std::string("no message was shown") : lastMessage_);
    }
    ctx_.runLog().record("end", d);
    running_ = false;
}

} // namespace korvo
