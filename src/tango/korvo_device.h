#pragma once
// The Tango device "Korvo": the station's attributes, commands, state and events (remote_station.h)
// in Tango's types. Tango calls arrive on its own threads; every one is handed to the station's
// thread through the host's bridge and waits there for its answer, for a bounded time. The events
// the station sends are pushed from a thread of the device's own, so that the station's thread never
// waits for Tango's device lock (which a request waiting for the station may hold).
#include "remote/remote_station.h"
#include "remote/station_bridge.h"
#include "tango/tango_properties.h"

#include <tango.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <variant>

namespace korvo {

// The program that serves the device: the station's thread, its bridge and the station itself.
class TangoHost {
public:
    virtual ~TangoHost() = default;
    // The station's thread: the station over which the device with these properties works (built at
    // the first call), or nullptr with the reason in *error.
    virtual RemoteStation* open(const TangoProperties& properties, std::string* error) = 0;
    // The station's thread: the device lets go of the station (it goes, or is initialised again).
    virtual void release() = 0;
    // The station's thread, after open() when the device is initialised again (Tango's Init): the
    // instrument links are closed and opened anew from these properties. Empty when every link
    // named answered, else which did not and why.
    virtual std::string reopenLinks(const TangoProperties& properties) = 0;
    StationBridge bridge;
};

// The host of every Korvo device of this process; set before Tango::Util::init.
void setTangoHost(TangoHost* host);

class KorvoDevice final : public TANGO_BASE_CLASS, public RemoteEvents {
public:
    KorvoDevice(Tango::DeviceClass* cls, const std::string& name);
    ~KorvoDevice() override;

    void init_device() override;
    void delete_device() override;
    // A Tango thread, before Tango's Init goes on: refused (thrown) while a run goes on, which Stop
    // ends first.
    void checkInit();
    Tango::DevState dev_state() override;
    Tango::ConstDevString dev_status() override;

    // A Tango thread: the answer of `job`, run with the station on its thread; a refusal is thrown
    // as a Tango error.
    RemoteAnswer call(const std::function<void(RemoteStation&, const RemoteReply&)>& job,
                      std::chrono::milliseconds bound, const char* origin);
    void readAttribute(Tango::Attribute& att);
    void writeAttribute(Tango::WAttribute& att);
    CORBA::Any* runCommand(const std::string& name, const CORBA::Any& in);

    // RemoteEvents, on the station's thread: kept for the pusher.
    void stateChanged(RemoteState state, const std::string& status) override;
    void progressChanged(double percent) override;
    void scanNumberChanged(std::int32_t scan) override;
    void countsChanged(const std::vector<double>& energies, const std::vector<double>& counts) override;

private:
    struct StateEvent {
        Tango::DevState state;
    };
    struct ProgressEvent {
        double percent;
    };
    struct ScanEvent {
        std::int32_t scan;
    };
    struct CountsEvent {
        std::vector<double> energies, counts;
    };
    using Event = std::variant<StateEvent, ProgressEvent, ScanEvent, CountsEvent>;
    void queue(Event e);
    void pushEvents();
    void detach();

    RemoteStation* remote_ = nullptr; // used on the station's thread only
    std::string openError_;
    bool initialised_ = false; // init_device ran before: this one is Tango's Init

    std::mutex mutex_; // guards what follows
    Tango::DevState state_ = Tango::ON;
    std::string status_;
    std::string statusShown_; // what dev_status() handed out last; kept until the next call
    std::deque<Event> events_;
    bool stopPusher_ = false;
    std::condition_variable eventsWaiting_;
    std::thread pusher_;
};

class KorvoDeviceClass final : public Tango::DeviceClass {
public:
    static KorvoDeviceClass* init(const char* name);
    static KorvoDeviceClass* instance();

protected:
    explicit KorvoDeviceClass(std::string& name);
    void attribute_factory(std::vector<Tango::Attr*>& attributes) override;
    void command_factory() override;
    void device_factory(const Tango::DevVarStringArray* devices) override;

private:
    static KorvoDeviceClass* instance_;
};

} // namespace korvo
