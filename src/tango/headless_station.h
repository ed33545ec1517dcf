#pragma once
// The station of korvo-tango, the server without windows: built from the device's properties as
// korvo-cli builds its own (card back end, settings file, instruments on serial devices), on the
// program's main thread, which then serves the bridge's jobs until the server goes down. Messages
// the program would show in a box go to stderr; questions take their default answer.
#include "acquisition/beamline.h"
#include "acquisition/instrument_display.h"
#include "acquisition/run/run_display.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/run_log.h"
#include "instruments/serial/com_port_paths.h"
#include "tango/korvo_device.h"

#include <atomic>
#include <memory>
#include <optional>

namespace korvo {

class HeadlessStation final : public TangoHost {
public:
    HeadlessStation();
    ~HeadlessStation() override;

    // Built from the first device's properties; the same device initialised again gets it back.
    RemoteStation* open(const TangoProperties& properties, std::string* error) override;
    void release() override { attached_ = false; }
    // The links the station has are let go of, and those the properties name connected and opened.
    std::string reopenLinks(const TangoProperties& properties) override;

    // The main thread: serves the jobs until stop() (any thread); a run going on then is stopped
    // and what it measured saved before it returns.
    void serve();
    void stop();

private:
    RemoteStation* build(const TangoProperties& properties, std::string* error);
    // The instrument links of `station`, made when first asked for.
    Beamline& beamline(Station& station);
    class Pump final : public EventPump {
    public:
        explicit Pump(HeadlessStation& h) : h_(h) {}
        void pump() override;

    private:
        HeadlessStation& h_;
    };

    SteadyClock steady_;
    VirtualClock virtual_;
    std::optional<std::reference_wrapper<Clock>> clock_;
    Pump pump_{*this};
    std::unique_ptr<Dialogs> dialogs_;
    std::optional<AcquisitionContext> ctx_;
    std::unique_ptr<PortIo> port_;
    std::optional<Station> station_;
    ComPortPaths paths_;
    std::optional<Beamline> beamline_;
    NullInstrumentDisplay instruments_;
    NullRunDisplay display_;
    std::optional<FileRunLog> log_;
    std::optional<RemoteStation> remote_;
    std::atomic<bool> stopping_{false};
    bool closed_ = false;
    bool attached_ = false; // a device works over the station
    std::string failure_;   // why the station could not be built
};

} // namespace korvo
