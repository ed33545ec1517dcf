#pragma once
// The desktop program as a Tango device server: when the INI file names a device
// ([remote] tango_device=station/korvo/1), the window's station is served as that device, without a
// Tango database, on [remote] tango_endpoint (default giop:tcp:127.0.0.1:10000, the loopback
// address only). A remotely started run is a press of the window's Start button: it shows live, and
// the window's Stop stops it.
#include "app/window_remote.h"
#include "tango/korvo_device.h"
#include "tango/tango_server.h"

#include <memory>
#include <string>

namespace korvo {

struct RemoteSettings {
    std::string device;                                // empty: no remote control
    std::string endpoint = "giop:tcp:127.0.0.1:10000"; // where the server listens
};

// The [remote] section of the INI file at `iniPath`.
RemoteSettings readRemoteSettings(const std::string& iniPath);

class DesktopTango final : public TangoHost {
public:
    // On the window's thread, after the window has been built.
    DesktopTango(TForm1& window, Station& station);
    ~DesktopTango() override;

    // Serves the device; false with the reason in *error (the endpoint taken, a bad device name).
    bool start(const RemoteSettings& settings, std::string* error);
    // The window's station; a second device is refused.
    RemoteStation* open(const TangoProperties& properties, std::string* error) override;
    void release() override { opened_ = false; }
    // The window's links are its own (the options window connects them): Init leaves them as they are.
    std::string reopenLinks(const TangoProperties&) override { return {}; }

private:
    Station& station_;
    WindowRemote windowRemote_;
    std::unique_ptr<TangoServer> server_;
    bool opened_ = false;
};

} // namespace korvo
