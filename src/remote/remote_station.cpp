#include "remote/remote_station.h"

#include "acquisition/run/run_journal.h"
#include "acquisition/run/run_validation.h"
#include "remote/remote_attributes.h"

#include <filesystem>
#include <utility>

namespace korvo {

namespace {

using T = RemoteType;

const std::vector<RemoteCommand> kCommands = {
    {"Start", T::None, T::None,
     "Starts a measurement with the attributes' values; refused with the start checks' messages"},
    {"Stop", T::None, T::None, "Ends the run as the Stop button does; what it measured is saved"},
    {"Pause", T::None, T::None, "Pauses the run after the point being counted (the Wait button)"},
    {"Resume", T::None, T::None, "Goes on with a paused run, also one waiting for the beam (Continue)"},
    {"Skip", T::None, T::None, "Measures the current scan again from its first point"},
    {"Save", T::String, T::String,
     "Saves the last spectrum to the path given (relative: in the save directory; never over a file) or, "
     "without one, under FileName; returns the path written"},
    {"Validate", T::None, T::StringList, "The messages a Start would give now (none: it would start)"},
};

std::string joined(const std::vector<std::string>& texts, const std::string& separator) {
    std::string out;
    for (const std::string& t : texts) out += (out.empty() ? "" : separator) + t;
    return out;
}

} // namespace

// While it lives nobody is expected at the screen: messages go to the host's log instead of waiting
// in a box for a click (the watch keeps them for the answer), and a spectrum is saved without the
// save dialog.
class RemoteStation::Unattended {
public:
    explicit Unattended(RemoteStation& r) : r_(r) {
        Dialogs& d = r.station_.ctx.dialogs;
        divertBefore_ = std::exchange(d.divert, [&r](const std::string& caption, const std::string& text) {
            if (r.host_.messageShown) r.host_.messageShown(lineBreaks(messageText(caption, text)));
        });
        unattendedBefore_ = std::exchange(r.station_.saver.unattended, true);
    }
    ~Unattended() {
        r_.station_.ctx.dialogs.divert = std::move(divertBefore_);
        r_.station_.saver.unattended = unattendedBefore_;
    }
    Unattended(const Unattended&) = delete;
    Unattended& operator=(const Unattended&) = delete;

private:
    RemoteStation& r_;
    std::function<void(const std::string&, const std::string&)> divertBefore_;
    bool unattendedBefore_;
};

RemoteStation::RemoteStation(Station& station, RunDisplay& inner, RemoteHost host)
    : station_(station), inner_(inner), host_(std::move(host)) {
    Dialogs& d = station_.ctx.dialogs;
    watchBefore_ = std::exchange(d.watch, [this](const std::string& caption, const std::string& text, DialogIcon icon) {
        if (watchBefore_) watchBefore_(caption, text, icon);
        seen(caption, text);
    });
    RunEngine& e = station_.engine;
    beamLossBefore_ = std::exchange(e.beamLossNotice, [this](const std::string& why) {
        beamText_ = why;
        if (beamLossBefore_) beamLossBefore_(why);
    });
    beamInformationBefore_ = std::exchange(e.beamInformationNotice, [this](const std::string& text) {
        beamText_ = text;
        if (beamInformationBefore_) beamInformationBefore_(text);
    });
    e.setDisplay(*this);
}

RemoteStation::~RemoteStation() {
    RunEngine& e = station_.engine;
    e.setDisplay(inner_);
    e.beamLossNotice = std::move(beamLossBefore_);
    e.beamInformationNotice = std::move(beamInformationBefore_);
    station_.ctx.dialogs.watch = std::move(watchBefore_);
}

const std::vector<RemoteAttribute>& RemoteStation::attributes() {
    return remoteAttributes();
}

const std::vector<RemoteCommand>& RemoteStation::commands() {
    return kCommands;
}

void RemoteStation::seen(const std::string&, const std::string& text) {
    if (collecting_ || station_.engine.running()) messages_.push_back(lineBreaks(text));
}

std::string RemoteStation::busy() const {
    if (station_.saver.scriptRunning) return "A script is running: stop the script first.";
    if (station_.engine.running() || runBegun_ || remoteRun_) return kStopFirstText;
    return {};
}

RemoteAnswer RemoteStation::read(std::string_view name) const {
    return readStationAttribute(station_, name);
}

RemoteAnswer RemoteStation::write(std::string_view name, const RemoteValue& value) {
    if (const std::string why = busy(); !why.empty()) return RemoteAnswer::refused(why);
    const Unattended unattended(*this);
    return writeStationAttribute(station_, name, value, host_);
}

void RemoteStation::command(std::string_view name, const std::string& argument, const RemoteReply& reply) {
    RunEngine& e = station_.engine;
    const auto noRun = [] { return RemoteAnswer::refused("No measurement is running."); };
    if (name == "Start") {
        start(reply);
    } else if (name == "Stop") {
        if (e.running()) e.requestStop();
        reply(RemoteAnswer::done());
    } else if (name == "Pause") {
        if (!e.running()) return reply(noRun());
        if (!e.controls().continueEnabled) return reply(RemoteAnswer::refused("This measurement cannot be paused."));
        if (!e.paused()) e.continueClicked();
        publish();
        reply(RemoteAnswer::done());
    } else if (name == "Resume") {
        if (!e.running()) return reply(noRun());
        if (e.paused()) e.continueClicked();
        publish();
        reply(RemoteAnswer::done());
    } else if (name == "Skip") {
        if (!e.running()) return reply(noRun());
        if (!e.controls().skipEnabled) return reply(RemoteAnswer::refused("This measurement has no scan to skip."));
        e.skipScanClicked();
        reply(RemoteAnswer::done());
    } else if (name == "Save") {
        save(argument, reply);
    } else if (name == "Validate") {
        reply(RemoteAnswer::done(validate()));
    } else {
        reply(RemoteAnswer::refused("No command " + std::string(name)));
    }
}

void RemoteStation::start(const RemoteReply& reply) {
    if (const std::string why = busy(); !why.empty()) return reply(RemoteAnswer::refused(why));
    if (closing_) return reply(RemoteAnswer::refused("Korvo is shutting down: no measurement is started."));
    RunEngine& e = station_.engine;
    MeasurementSaver& saver = station_.saver;
    // A refused Start leaves the fields as they were, the start checks' corrections included.
    const MeasurementFields before = station_.fields;
    const std::string savedBefore = saver.lastWritten();
    const Unattended unattended(*this);
    messages_.clear();
    collecting_ = true;
    pendingStart_ = reply;
    remoteRun_ = true;
    if (host_.pressStart)
        host_.pressStart();
    else
        e.startClicked();
    if (pendingStart_) {
        remoteRun_ = false;
        collecting_ = false;
        const std::string why = messages_.empty() ? "The measurement was not started." : joined(messages_, "\n");
        messages_.clear();
        station_.fields = before;
        if (host_.showFields) host_.showFields();
        std::exchange(pendingStart_, nullptr)(RemoteAnswer::refused(why));
        publish();
        return;
    }
    // A run that Stop or a failing instrument ended keeps what it measured, as a finished one does.
    const RunEnd end = e.lastEnd();
    const bool stopped = end == RunEnd::Stopped || end == RunEnd::StoppedAfterScan;
    if (stopped && station_.measurement.kindOfMeasure != 0 && saver.lastWritten() == savedBefore &&
        measuredPoints(station_.measurement) > 0)
        e.saveClicked();
    if (host_.showFields) host_.showFields();
    runEnded(true);
    remoteRun_ = false;
    publish(true);
}

void RemoteStation::runEnded(bool remote) {
    const RunEngine& e = station_.engine;
    const Measurement& m = station_.measurement;
    const RunEnd end = e.lastEnd();
    const bool stopped = end == RunEnd::Stopped || end == RunEnd::StoppedAfterScan;
    // A client's run that measured something and could not save it has failed as well.
    const bool unsaved = remote && m.kindOfMeasure != 0 && measuredPoints(m) > 0 &&
                         station_.saver.lastSaveOutcome() != SaveOutcome::Written;
    fault_.clear();
    if ((stopped && !e.stoppedByUser()) || unsaved)
        fault_ = messages_.empty() ? "the run ended without saying why" : joined(messages_, " | ");
    runBegun_ = false;
    collecting_ = false;
    messages_.clear();
    label_.clear();
    beamText_.clear();
    if (closeReply_) std::exchange(closeReply_, nullptr)(RemoteAnswer::done());
}

void RemoteStation::save(const std::string& path, const RemoteReply& reply) {
    if (const std::string why = busy(); !why.empty()) return reply(RemoteAnswer::refused(why));
    const Measurement& m = station_.measurement;
    if (m.kindOfMeasure == 0 || m.data.empty() || !station_.engine.controls().saveEnabled)
        return reply(RemoteAnswer::refused("There is no measured spectrum to save."));
    MeasurementSaver& saver = station_.saver;
    SaveOutcome out;
    {
        const Unattended unattended(*this);
        messages_.clear();
        collecting_ = true;
        if (path.empty()) {
            out = saver.save();
        } else {
            std::filesystem::path p(path);
            if (p.is_relative()) p = std::filesystem::path(station_.settings.store.saveDir) / p;
            std::error_code ec;
            if (std::filesystem::symlink_status(p, ec).type() != std::filesystem::file_type::not_found) {
                collecting_ = false;
                return reply(RemoteAnswer::refused(p.string() + " exists: Save never replaces a file."));
            }
            out = saver.saveAs(p.string());
        }
        collecting_ = false;
    }
    if (host_.showFields) host_.showFields();
    const std::string why = messages_.empty() ? "The spectrum was not saved." : joined(messages_, "\n");
    messages_.clear();
    reply(out == SaveOutcome::Written ? RemoteAnswer::done(saver.lastWritten()) : RemoteAnswer::refused(why));
    publish();
}

std::vector<std::string> RemoteStation::validate() {
    if (const std::string why = busy(); !why.empty()) return {why};
    // The checks judge copies: nothing they correct or derive stays.
    MeasurementFields fields = station_.fields;
    RunState trial = station_.state;
    trial.runStartTick = station_.ctx.clock.nowMs();
    InstrumentValues& v = station_.ctx.values;
    const auto stopBefore = v.StopRequest;
    v.StopRequest = 0;
    {
        const Unattended unattended(*this);
        messages_.clear();
        collecting_ = true;
        NullRunDisplay none;
        validateNewRun(station_.ctx, fields, trial, none);
        collecting_ = false;
    }
    v.StopRequest = stopBefore;
    return std::exchange(messages_, {});
}

void RemoteStation::close(const RemoteReply& reply) {
    closing_ = true;
    if (!runBegun_ && !remoteRun_ && !station_.engine.running()) return reply(RemoteAnswer::done());
    closeReply_ = reply;
    station_.engine.requestStop();
    // A monochromator on its way ends its move at the next status reply, as "Stop Monoc." ends it.
    station_.ctx.values.MonoStopRequest = true;
    publish();
}

RemoteState RemoteStation::state() const {
    const RunEngine& e = station_.engine;
    if (runBegun_) {
        if (e.beamPaused()) return RemoteState::Alarm;
        if (e.paused()) return RemoteState::Standby;
        return RemoteState::Running;
    }
    return fault_.empty() && linkFault_.empty() ? RemoteState::On : RemoteState::Fault;
}

void RemoteStation::linksReopened(const std::string& why) {
    fault_.clear();
    linkFault_ = why;
    publish();
}

std::string RemoteStation::status() const {
    if (closing_) return "Korvo is shutting down.";
    switch (state()) {
    case RemoteState::Running:
        if (!label_.empty()) return label_;
        return station_.measurement.kindOfMeasure == 0 ? "Measuring c(t) until Stop." : "Measuring.";
    case RemoteState::Standby:
        return "Paused: Resume goes on with the run.";
    case RemoteState::Alarm:
        return beamText_.empty() ? "The run waits for the beam." : beamText_;
    case RemoteState::Fault:
        return fault_.empty() ? linkFault_ : "The last run failed: " + fault_;
    case RemoteState::On:
        break;
    }
    const std::string& last = station_.saver.lastWritten();
    return last.empty() ? "Ready." : "Ready. Last file: " + last;
}

void RemoteStation::setEvents(RemoteEvents* events) {
    events_ = events;
    published_ = false;
    publish(true);
}

void RemoteStation::publish(bool countsToo) {
    // A run started at the window ends here; a client's run ends in its Start, after its save.
    if (runBegun_ && !remoteRun_ && !station_.engine.running()) {
        runEnded(false);
        countsToo = true;
    }
    if (!events_) return;
    const RemoteState st = state();
    if (!published_ || st != sentState_) {
        sentState_ = st;
        events_->stateChanged(st, status());
    }
    const double progress = remoteProgress(station_);
    if (!published_ || int(progress) != sentPercent_) {
        sentPercent_ = int(progress);
        events_->progressChanged(progress);
    }
    const std::int32_t scan = remoteScanNumber(station_);
    if (!published_ || scan != sentScan_) {
        // The scan counter moves on when a scan has been added to the sums (not when a run begins).
        if (published_ && runBegun_ && sentScan_ > 0 && scan > sentScan_) countsToo = true;
        sentScan_ = scan;
        events_->scanNumberChanged(scan);
    }
    if (countsToo || !published_)
        events_->countsChanged(remoteEnergies(station_), remoteCounts(station_));
    published_ = true;
}

// ---- RunDisplay: the front end's display first, then what a client is to learn of it.

void RemoteStation::runStarted() {
    inner_.runStarted();
    runBegun_ = true;
    fault_.clear();
    label_.clear();
    beamText_.clear();
    // What the start checks said did not refuse the run.
    messages_.clear();
    // RUNNING is told before the answer: a client that asks for the state after its Start sees it.
    publish();
    if (pendingStart_) std::exchange(pendingStart_, nullptr)(RemoteAnswer::done());
}

void RemoteStation::drawPoint(std::size_t record) {
    inner_.drawPoint(record);
    publish();
}

void RemoteStation::redraw() {
    inner_.redraw();
    publish();
}

void RemoteStation::measurementsLabel(const std::string& text) {
    inner_.measurementsLabel(text);
    label_ = text;
}

void RemoteStation::progress(const ProgressStrip& strip) {
    inner_.progress(strip);
    publish();
}

void RemoteStation::controlsChanged(const RunControls& controls) {
    inner_.controlsChanged(controls);
    publish();
}

void RemoteStation::fieldsChanged() {
    inner_.fieldsChanged();
}

void RemoteStation::rangeText(const std::string& text) {
    inner_.rangeText(text);
}

void RemoteStation::extraPoints(std::int64_t count) {
    inner_.extraPoints(count);
}

void RemoteStation::channelList(const std::vector<std::string>& items) {
    inner_.channelList(items);
}

void RemoteStation::chartPoint(std::int64_t n, double counts) {
    inner_.chartPoint(n, counts);
    publish();
}

} // namespace korvo
