#pragma once
// The station as a remote client drives it: attributes read and written (remote_attributes.h), the
// run's commands, the device state with its status text, and the events with which a client
// follows a run without polling. It is a front end like the main window and korvo-cli: a write puts
// texts into the fields the window edits, Start goes through the same start checks and run engine
// (the window's Start button where there is a window), Save through the same saver.
//
// It lives on the station's thread (StationBridge brings other threads' calls there) and learns what
// the run does by standing in for the front end's run display, to which it hands every call on. It
// watches runs started at the window too: a client sees them, and is refused its Start meanwhile.
//
// Nobody may be at the screen when a client drives the station: during a remote request and a
// remotely started run no message box waits for a click (the messages become the answer, the
// status and the host's log) and spectra are saved without the save dialog.
#include "acquisition/station.h"
#include "remote/remote_host.h"
#include "remote/remote_types.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

// What a client is told without asking; called on the station's thread.
class RemoteEvents {
public:
    virtual ~RemoteEvents() = default;
    virtual void stateChanged(RemoteState state, const std::string& status) = 0;
    virtual void progressChanged(double percent) = 0;
    virtual void scanNumberChanged(std::int32_t scan) = 0;
    // After each completed scan, and when a run ends: the summed counts and their energies.
    virtual void countsChanged(const std::vector<double>& energies, const std::vector<double>& counts) = 0;
};

// "Stop the measurement first !": what the window says to an action that has to wait for the run's end.
inline constexpr const char* kStopFirstText = "Stop the measurement first !";

class RemoteStation final : public RunDisplay {
public:
    // Becomes the station's run display in place of `inner`, which it keeps informed; both must
    // outlive it, and it gives the display back when it goes.
    RemoteStation(Station& station, RunDisplay& inner, RemoteHost host = {});
    ~RemoteStation() override;
    RemoteStation(const RemoteStation&) = delete;
    RemoteStation& operator=(const RemoteStation&) = delete;

    static const std::vector<RemoteAttribute>& attributes();
    static const std::vector<RemoteCommand>& commands();

    RemoteAnswer read(std::string_view name) const;
    // Refused while a run goes on, as the window's parameter changes wait for its end.
    RemoteAnswer write(std::string_view name, const RemoteValue& value);
    // Start, Stop, Pause, Resume, Skip, Save [path], Validate. Start answers once its run has begun
    // (or was refused) and returns when the run has ended and what it measured is saved.
    void command(std::string_view name, const std::string& argument, const RemoteReply& reply);

    RemoteState state() const;
    std::string status() const;
    // Why nothing may change the station now (a run or a script goes on); empty: it may.
    std::string busy() const;

    // The device was initialised again and its instrument links opened anew: the last run's failure
    // is forgotten; `why` (empty: every link answered) says which link did not open and why, and
    // keeps the state FAULT until the links are opened again.
    void linksReopened(const std::string& why);

    // Where the events go (nullptr: nowhere). The current state, progress, scan number and counts
    // are sent at once.
    void setEvents(RemoteEvents* events);

    // The server is going down: a run is stopped as Stop stops it, and `reply` is answered once it
    // has ended and its spectrum is saved (at once when none goes on). No run starts afterwards.
    void close(const RemoteReply& reply);

    // RunDisplay: handed on to the front end's display, then looked at.
    void runStarted() override;
    void drawPoint(std::size_t record) override;
    void redraw() override;
    void measurementsLabel(const std::string& text) override;
    void progress(const ProgressStrip& strip) override;
    void controlsChanged(const RunControls& controls) override;
    void fieldsChanged() override;
    void rangeText(const std::string& text) override;
    void extraPoints(std::int64_t count) override;
    void channelList(const std::vector<std::string>& items) override;
    void chartPoint(std::int64_t n, double counts) override;

private:
    class Unattended;
    void start(const RemoteReply& reply);
    void save(const std::string& path, const RemoteReply& reply);
    std::vector<std::string> validate();
    void seen(const std::string& caption, const std::string& text);
    // `remote`: a client started it (and its spectrum must have been saved).
    void runEnded(bool remote);
    // Sends what changed since it was last sent.
    void publish(bool countsToo = false);

    Station& station_;
    RunDisplay& inner_;
    RemoteHost host_;
    RemoteEvents* events_ = nullptr;
    std::function<void(const std::string&, const std::string&, DialogIcon)> watchBefore_;
    std::function<void(const std::string&)> beamLossBefore_, beamInformationBefore_;

    RemoteReply pendingStart_; // answered when the run begins
    RemoteReply closeReply_;   // answered when the run has ended
    bool closing_ = false;
    bool remoteRun_ = false; // a client's Start is measuring (or saving what it measured)
    bool runBegun_ = false;  // a run got past its start checks and has not ended yet
    bool collecting_ = false;
    std::vector<std::string> messages_; // shown since collecting began, or during the run
    std::string fault_;                 // why the last run failed; empty: it did not
    std::string linkFault_;             // which instrument link did not open, and why
    std::string label_;                 // "Scan : 2    Time left : ..."
    std::string beamText_;              // why the run waits for the beam

    // What the events said last.
    bool published_ = false;
    RemoteState sentState_ = RemoteState::On;
    int sentPercent_ = -1;
    std::int32_t sentScan_ = -1;
};

} // namespace korvo
