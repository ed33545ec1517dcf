#pragma once
// The desktop program serving its station to remote clients: the remote facade over the window's
// station, with the window as its host, so that a remote write shows in the window's controls, a
// remote Start is a press of the window's Start button (the run shows live and the window's Stop
// stops it) and a mode written remotely is the window's mode switch. Remote calls come on other
// threads through the bridge; the bridge wakes the window's event loop, which serves them on the
// window's thread, also inside a run's waits.
#include "acquisition/station.h"
#include "remote/remote_station.h"
#include "remote/station_bridge.h"

#include <QObject>

#include <optional>

namespace korvo {

class TForm1;

class WindowRemote final : public QObject {
public:
    // Call on the window's thread; the bridge serves there from now on. Window, station and bridge
    // must outlive it.
    WindowRemote(TForm1& window, Station& station, StationBridge& bridge);
    ~WindowRemote() override;

    RemoteStation& remote() { return *remote_; }
    // The window's thread: the jobs queued so far, after the controls' texts have reached the fields
    // (a client reads what the window shows).
    void serve();

private:
    TForm1& window_;
    Station& station_;
    StationBridge& bridge_;
    std::optional<RemoteStation> remote_;
};

} // namespace korvo
