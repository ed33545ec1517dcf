#pragma once
// What a remote client exchanges with the station: values of the device's attributes, the answer
// to a request (a value, or the refusal the window would show), the device state and the names
// and types of the attributes and commands. Plain values only: the protocol layer (Tango) turns
// them into its own types.
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace korvo {

// Rows of `width` values each, row after row.
struct RemoteImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<double> values;
};

using RemoteValue = std::variant<std::monostate, std::int32_t, double, std::string, std::vector<double>,
                                 RemoteImage, std::vector<std::string>>;

struct RemoteAnswer {
    std::string refusal; // why the request was not carried out (the program's messages); empty: done
    RemoteValue value;
    bool ok() const { return refusal.empty(); }
    static RemoteAnswer done(RemoteValue v = {}) { return {{}, std::move(v)}; }
    static RemoteAnswer refused(std::string why) { return {std::move(why), {}}; }
};

// How a request on the station's thread gives its answer. Only the first answer counts; a Start
// answers as soon as its run has begun and measures on.
using RemoteReply = std::function<void(RemoteAnswer)>;

// ON idle, RUNNING while a run measures, STANDBY while it is paused ("Wait"), ALARM while it waits
// for the beam, FAULT after a run that an instrument (or another failure) ended.
enum class RemoteState { On, Running, Standby, Alarm, Fault };

enum class RemoteType { None, Long, Double, String, DoubleSpectrum, DoubleImage, StringList };

struct RemoteAttribute {
    const char* name;
    RemoteType type;
    bool writable;
    const char* unit;
    const char* description;
};

struct RemoteCommand {
    const char* name;
    RemoteType argument; // None or String
    RemoteType result;   // None, String or StringList
    const char* description;
};

} // namespace korvo
