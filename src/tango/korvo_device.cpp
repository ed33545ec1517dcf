#include "tango/korvo_device.h"

#include <tango/basiccommand.h>

#include <map>
#include <utility>

namespace korvo {

namespace {

using namespace std::chrono_literals;

TangoHost* gHost = nullptr;

// A read or write is answered between two points of a run; a Start once its run has begun, which may
// need a monochromator move first.
constexpr auto kRequestBound = 2500ms;
constexpr auto kStartBound = 60s;
// Init opens the instrument links again, each waiting for its replies within its own time-outs.
constexpr auto kInitBound = 60s;
// The server goes down: the run is stopped and what it measured saved.
constexpr auto kCloseBound = 30s;
constexpr std::size_t kMaxQueuedEvents = 10000;

long tangoType(RemoteType t) {
    switch (t) {
    case RemoteType::Long:
        return Tango::DEV_LONG;
    case RemoteType::String:
        return Tango::DEV_STRING;
    default:
        return Tango::DEV_DOUBLE;
    }
}

Tango::DevState tangoState(RemoteState s) {
    switch (s) {
    case RemoteState::Running:
        return Tango::RUNNING;
    case RemoteState::Standby:
        return Tango::STANDBY;
    case RemoteState::Alarm:
        return Tango::ALARM;
    case RemoteState::Fault:
        return Tango::FAULT;
    case RemoteState::On:
        break;
    }
    return Tango::ON;
}

void describe(Tango::Attr& attr, const RemoteAttribute& a) {
    Tango::UserDefaultAttrProp p;
    p.set_description(a.description);
    if (*a.unit) p.set_unit(a.unit);
    attr.set_default_properties(p);
    attr.set_change_event(true, false);
}

// What a read hands to Tango stays valid until the reply is on its way: one buffer per attribute
// and Tango thread.
struct ReadBuffer {
    Tango::DevLong number = 0;
    Tango::DevDouble real = 0;
    std::string text;
    Tango::DevString textPointer = nullptr;
    std::vector<double> values;
};

ReadBuffer& bufferFor(const std::string& name) {
    thread_local std::map<std::string, ReadBuffer> buffers;
    return buffers[name];
}

template <class Base>
class RemoteAttr final : public Base {
public:
    template <class... Args>
    explicit RemoteAttr(Args&&... args) : Base(std::forward<Args>(args)...) {}
    void read(Tango::DeviceImpl* dev, Tango::Attribute& att) override {
        static_cast<KorvoDevice*>(dev)->readAttribute(att);
    }
    void write(Tango::DeviceImpl* dev, Tango::WAttribute& att) override {
        static_cast<KorvoDevice*>(dev)->writeAttribute(att);
    }
};

class RemoteCmd final : public Tango::Command {
public:
    RemoteCmd(const RemoteCommand& c)
        : Tango::Command(c.name, c.argument == RemoteType::String ? Tango::DEV_STRING : Tango::DEV_VOID,
                         c.result == RemoteType::String       ? Tango::DEV_STRING
                         : c.result == RemoteType::StringList ? Tango::DEVVAR_STRINGARRAY
                                                              : Tango::DEV_VOID,
                         c.argument == RemoteType::String ? "Path (empty: FileName in the save directory)" : "",
                         c.result == RemoteType::String       ? "Path written"
                         : c.result == RemoteType::StringList ? "Messages"
                                                              : "") {
        set_disp_level(Tango::OPERATOR);
    }
    CORBA::Any* execute(Tango::DeviceImpl* dev, const CORBA::Any& in) override {
        return static_cast<KorvoDevice*>(dev)->runCommand(get_name(), in);
    }
};

// Tango's Init, which the device refuses while a run goes on: it would drop the instrument links
// under the run.
class InitCmd final : public Tango::DevInitCmd {
public:
    InitCmd() : Tango::DevInitCmd("Init", Tango::DEV_VOID, Tango::DEV_VOID) {}
    CORBA::Any* execute(Tango::DeviceImpl* dev, const CORBA::Any& in) override {
        static_cast<KorvoDevice*>(dev)->checkInit();
        return Tango::DevInitCmd::execute(dev, in);
    }
};

} // namespace

void setTangoHost(TangoHost* host) {
    gHost = host;
}

// ---- The device

KorvoDevice::KorvoDevice(Tango::DeviceClass* cls, const std::string& name) : TANGO_BASE_CLASS(cls, name.c_str()) {
    init_device();
}

KorvoDevice::~KorvoDevice() {
    delete_device();
}

void KorvoDevice::init_device() {
    TangoProperties p;
    if (Tango::Util::_UseDb) {
        Tango::DbData data;
        for (const char* n : {"Card", "Seed", "SimModel", "IniFile", "Mode", "VirtualTime", "Mono", "Drive",
                              "Keithley1", "Keithley2", "RingUrl", "RingEvery", "InstrumentTimeout", "MonoSpeed"})
            data.push_back(Tango::DbDatum(n));
        get_db_device()->get_property(data);
        auto text = [&](int i, std::string& into) {
            if (!data[i].is_empty()) data[i] >> into;
        };
        text(0, p.card);
        if (!data[1].is_empty()) {
            Tango::DevULong64 seed = 1;
            data[1] >> seed;
            p.seed = seed;
        }
        text(2, p.simModel);
        text(3, p.iniFile);
        text(4, p.mode);
        if (!data[5].is_empty()) data[5] >> p.virtualTime;
        text(6, p.ports.mono);
        text(7, p.ports.drive);
        text(8, p.ports.keithley1);
        text(9, p.ports.keithley2);
        text(10, p.ports.ringUrl);
        if (!data[11].is_empty()) data[11] >> p.ports.ringEvery;
        if (!data[12].is_empty()) {
            Tango::DevLong t = 0;
            data[12] >> t;
            p.ports.timeout = int(t);
        }
        if (!data[13].is_empty()) {
            Tango::DevDouble speed = 0;
            data[13] >> speed;
            p.ports.monoSpeed = speed;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopPusher_ = false;
    }
    pusher_ = std::thread([this] { pushEvents(); });
    set_change_event("State", true, false);
    // The station is built on its own thread: the server's start runs there; an Init later goes
    // through the bridge.
    const bool again = std::exchange(initialised_, true);
    auto open = [this, p, again](const RemoteReply& reply) {
        std::string error;
        remote_ = gHost ? gHost->open(p, &error) : nullptr;
        if (!remote_) {
            openError_ = gHost ? error : "No station serves this device.";
            return reply(RemoteAnswer::refused(openError_));
        }
        openError_.clear();
        // Init is what an operator does after an instrument fell silent and was brought back.
        if (again) remote_->linksReopened(gHost->reopenLinks(p));
        remote_->setEvents(this);
        reply(RemoteAnswer::done());
    };
    RemoteAnswer a = RemoteAnswer::refused("No station serves this device.");
    if (gHost && gHost->bridge.onStationThread())
        open([&a](RemoteAnswer r) { a = std::move(r); });
    else if (gHost)
        a = gHost->bridge.call(open, kInitBound);
    if (!a.ok()) {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = Tango::FAULT;
        status_ = a.refusal;
        std::cerr << get_name() << ": " << a.refusal << "\n";
    }
}

void KorvoDevice::checkInit() {
    if (!gHost) return;
    const RemoteAnswer a = gHost->bridge.call(
        [this](const RemoteReply& reply) {
            const std::string why = remote_ ? remote_->busy() : std::string();
            reply(why.empty() ? RemoteAnswer::done() : RemoteAnswer::refused(why));
        },
        kRequestBound);
    if (!a.ok()) Tango::Except::throw_exception("Korvo_Refused", a.refusal, "KorvoDevice::Init");
}

void KorvoDevice::detach() {
    if (!gHost) return;
    auto job = [this](const RemoteReply& reply) {
        if (remote_) {
            remote_->setEvents(nullptr);
            gHost->release();
        }
        remote_ = nullptr;
        reply(RemoteAnswer::done());
    };
    if (gHost->bridge.onStationThread())
        job([](RemoteAnswer) {});
    else
        gHost->bridge.call(job, kRequestBound);
}

void KorvoDevice::delete_device() {
    detach();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopPusher_ = true;
        events_.clear();
    }
    eventsWaiting_.notify_all();
    if (pusher_.joinable()) pusher_.join();
}

Tango::DevState KorvoDevice::dev_state() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_state(state_);
    return state_;
}

Tango::ConstDevString KorvoDevice::dev_status() {
    std::lock_guard<std::mutex> lock(mutex_);
    statusShown_ = status_;
    set_status(statusShown_);
    return statusShown_.c_str();
}

RemoteAnswer KorvoDevice::call(const std::function<void(RemoteStation&, const RemoteReply&)>& job,
                               std::chrono::milliseconds bound, const char* origin) {
    if (!gHost) Tango::Except::throw_exception("Korvo_NoStation", "No station serves this device.", origin);
    RemoteAnswer a = gHost->bridge.call(
        [this, job](const RemoteReply& reply) {
            if (!remote_) return reply(RemoteAnswer::refused(openError_.empty() ? "The station is closed." : openError_));
            job(*remote_, reply);
        },
        bound);
    if (!a.ok()) Tango::Except::throw_exception("Korvo_Refused", a.refusal, origin);
    return a;
}

void KorvoDevice::readAttribute(Tango::Attribute& att) {
    const std::string name = att.get_name();
    const RemoteAnswer a = call([name](RemoteStation& r, const RemoteReply& reply) { reply(r.read(name)); },
                                kRequestBound, "KorvoDevice::read");
    ReadBuffer& b = bufferFor(name);
    if (const auto* v = std::get_if<std::int32_t>(&a.value)) {
        b.number = *v;
        att.set_value(&b.number);
    } else if (const auto* v = std::get_if<double>(&a.value)) {
        b.real = *v;
        att.set_value(&b.real);
    } else if (const auto* v = std::get_if<std::string>(&a.value)) {
        b.text = *v;
        b.textPointer = const_cast<char*>(b.text.c_str());
        att.set_value(&b.textPointer);
    } else if (const auto* v = std::get_if<std::vector<double>>(&a.value)) {
        b.values = *v;
        att.set_value(b.values.data(), long(b.values.size()));
    } else if (const auto* v = std::get_if<RemoteImage>(&a.value)) {
        b.values = v->values;
        att.set_value(b.values.data(), v->width, v->height);
    } else {
        Tango::Except::throw_exception("Korvo_NoValue", name + " has no value", "KorvoDevice::read");
    }
}

void KorvoDevice::writeAttribute(Tango::WAttribute& att) {
    const std::string name = att.get_name();
    RemoteValue value;
    switch (att.get_data_type()) {
    case Tango::DEV_LONG: {
        Tango::DevLong v = 0;
        att.get_write_value(v);
        value = std::int32_t(v);
        break;
    }
    case Tango::DEV_DOUBLE: {
        Tango::DevDouble v = 0;
        att.get_write_value(v);
        value = double(v);
        break;
    }
    default: {
        Tango::DevString v = nullptr;
        att.get_write_value(v);
        value = std::string(v ? v : "");
    }
    }
    call([name, value](RemoteStation& r, const RemoteReply& reply) { reply(r.write(name, value)); }, kRequestBound,
         "KorvoDevice::write");
}

CORBA::Any* KorvoDevice::runCommand(const std::string& name, const CORBA::Any& in) {
    std::string argument;
    if (name == "Save") {
        const char* text = nullptr;
        if (in >>= text) argument = text ? text : "";
    }
    const RemoteAnswer a = call(
        [name, argument](RemoteStation& r, const RemoteReply& reply) { r.command(name, argument, reply); },
        name == "Start" ? std::chrono::milliseconds(kStartBound) : std::chrono::milliseconds(kRequestBound),
        ("KorvoDevice::" + name).c_str());
    auto* out = new CORBA::Any();
    if (const auto* s = std::get_if<std::string>(&a.value)) {
        *out <<= s->c_str();
    } else if (const auto* list = std::get_if<std::vector<std::string>>(&a.value)) {
        auto* seq = new Tango::DevVarStringArray();
        seq->length(CORBA::ULong(list->size()));
        for (std::size_t i = 0; i < list->size(); ++i) (*seq)[CORBA::ULong(i)] = CORBA::string_dup((*list)[i].c_str());
        *out <<= seq;
    }
    return out;
}

// ---- Events: kept on the station's thread, pushed on the device's own.

void KorvoDevice::stateChanged(RemoteState state, const std::string& status) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = tangoState(state);
        status_ = status;
    }
    queue(StateEvent{tangoState(state)});
}

void KorvoDevice::progressChanged(double percent) {
    queue(ProgressEvent{percent});
}

void KorvoDevice::scanNumberChanged(std::int32_t scan) {
    queue(ScanEvent{scan});
}

void KorvoDevice::countsChanged(const std::vector<double>& energies, const std::vector<double>& counts) {
    queue(CountsEvent{energies, counts});
}

void KorvoDevice::queue(Event e) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopPusher_) return;
        // A client that cannot keep up loses progress steps first, never a state or the counts.
        if (events_.size() >= kMaxQueuedEvents && std::holds_alternative<ProgressEvent>(e)) return;
        events_.push_back(std::move(e));
    }
    eventsWaiting_.notify_one();
}

void KorvoDevice::pushEvents() {
    for (;;) {
        Event e;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            eventsWaiting_.wait(lock, [this] { return stopPusher_ || !events_.empty(); });
            if (stopPusher_) return;
            e = std::move(events_.front());
            events_.pop_front();
        }
        try {
            if (const auto* s = std::get_if<StateEvent>(&e)) {
                set_state(s->state);
                push_change_event("State");
            } else if (const auto* p = std::get_if<ProgressEvent>(&e)) {
                Tango::DevDouble v = p->percent;
                push_change_event("Progress", &v);
            } else if (const auto* n = std::get_if<ScanEvent>(&e)) {
                Tango::DevLong v = n->scan;
                push_change_event("ScanNumber", &v);
            } else if (auto* c = std::get_if<CountsEvent>(&e)) {
                push_change_event("Counts", c->counts.data(), long(c->counts.size()));
                push_change_event("Energies", c->energies.data(), long(c->energies.size()));
            }
        } catch (const Tango::DevFailed&) {
            // Nobody listens, or the device goes down: the next event may reach someone.
        }
    }
}

// ---- The class

KorvoDeviceClass* KorvoDeviceClass::instance_ = nullptr;

KorvoDeviceClass::KorvoDeviceClass(std::string& name) : Tango::DeviceClass(name) {}

KorvoDeviceClass* KorvoDeviceClass::init(const char* name) {
    if (!instance_) {
        std::string n(name);
        instance_ = new KorvoDeviceClass(n);
    }
    return instance_;
}

KorvoDeviceClass* KorvoDeviceClass::instance() {
    return instance_;
}

void KorvoDeviceClass::attribute_factory(std::vector<Tango::Attr*>& attributes) {
    for (const RemoteAttribute& a : RemoteStation::attributes()) {
        Tango::Attr* attr = nullptr;
        const Tango::AttrWriteType w = a.writable ? Tango::READ_WRITE : Tango::READ;
        if (a.type == RemoteType::DoubleSpectrum)
            attr = new RemoteAttr<Tango::SpectrumAttr>(a.name, Tango::DEV_DOUBLE, w, 10000000);
        else if (a.type == RemoteType::DoubleImage)
            attr = new RemoteAttr<Tango::ImageAttr>(a.name, Tango::DEV_DOUBLE, w, 10000000, 9);
        else
            attr = new RemoteAttr<Tango::Attr>(a.name, tangoType(a.type), w);
        describe(*attr, a);
        attributes.push_back(attr);
    }
}

void KorvoDeviceClass::command_factory() {
    for (Tango::Command*& c : command_list)
        if (c->get_lower_name() == "init") {
            delete c;
            c = new InitCmd();
        }
    for (const RemoteCommand& c : RemoteStation::commands()) command_list.push_back(new RemoteCmd(c));
}

void KorvoDeviceClass::device_factory(const Tango::DevVarStringArray* devices) {
    for (CORBA::ULong i = 0; i < devices->length(); ++i) {
        auto* dev = new KorvoDevice(this, std::string((*devices)[i]));
        device_list.push_back(dev);
        if (Tango::Util::_UseDb && !Tango::Util::_FileDb)
            export_device(dev);
        else
            export_device(dev, dev->get_name().c_str());
    }
}

} // namespace korvo
