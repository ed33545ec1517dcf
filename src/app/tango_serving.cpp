#include "app/tango_serving.h"

#include "common/ini_file.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace korvo {

RemoteSettings readRemoteSettings(const std::string& iniPath) {
    IniFile ini(iniPath);
    ini.load();
    RemoteSettings s;
    s.device = ini.readString("remote", "tango_device", "");
    s.endpoint = ini.readString("remote", "tango_endpoint", s.endpoint);
    return s;
}

DesktopTango::DesktopTango(TForm1& window, Station& station)
    : station_(station), windowRemote_(window, station, bridge) {}

DesktopTango::~DesktopTango() {
    // No event and no call reaches the station any more, then Tango goes.
    windowRemote_.remote().setEvents(nullptr);
    bridge.close("Korvo is closing.");
    server_.reset();
    setTangoHost(nullptr);
}

bool DesktopTango::start(const RemoteSettings& settings, std::string* error) {
    setTangoHost(this);
    server_ = TangoServer::start({"korvo", "desktop", "-nodb", "-dlist", settings.device, "-ORBendPoint",
                                  settings.endpoint},
                                 // Tango takes SIGINT and SIGTERM and ends its loop on them: the program ends
                                 // as it would without Tango, a run stopped first as Stop stops it.
                                 [this] {
                                     QMetaObject::invokeMethod(
                                         &windowRemote_,
                                         [this] {
                                             if (station_.engine.running()) station_.engine.requestStop();
                                             QCoreApplication::exit(0);
                                         },
                                         Qt::QueuedConnection);
                                 },
                                 error);
    if (!server_) setTangoHost(nullptr);
    return server_ != nullptr;
}

RemoteStation* DesktopTango::open(const TangoProperties&, std::string* error) {
    if (opened_) {
        *error = "Korvo serves its station through one device only.";
        return nullptr;
    }
    opened_ = true;
    return &windowRemote_.remote();
}

} // namespace korvo
