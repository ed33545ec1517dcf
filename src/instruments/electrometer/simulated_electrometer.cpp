#include "instruments/electrometer/simulated_electrometer.h"

#include "common/number_text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>

namespace korvo {

namespace {

// A command line longer than this is cut: the instrument's input buffer is small, and a line that
// never ends must not grow the simulator.
constexpr std::size_t kMaxCommand = 256;

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string trimmed(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

// SCPI takes a keyword in its short or its long form, nothing in between.
bool keyword(const std::string& word, const char* shortForm, const char* longForm) {
    return word == shortForm || word == longForm;
}

// Status letter N (normal) and the unit of the function: what the reading element carries.
const char* suffixOf(SimulatedElectrometer::Function f) {
    switch (f) {
    case SimulatedElectrometer::Function::Voltage:
        return "NVDC";
    case SimulatedElectrometer::Function::Current:
        return "NADC";
    case SimulatedElectrometer::Function::Resistance:
        return "NOHM";
    case SimulatedElectrometer::Function::Charge:
        return "NCOUL";
    }
    return "N";
}

const char* nameOf(SimulatedElectrometer::Function f) {
    switch (f) {
    case SimulatedElectrometer::Function::Voltage:
        return "VOLT:DC";
    case SimulatedElectrometer::Function::Current:
        return "CURR:DC";
    case SimulatedElectrometer::Function::Resistance:
        return "RES";
    case SimulatedElectrometer::Function::Charge:
        return "CHAR";
    }
    return "";
}

// "+1.234567E-09": the instrument's seven significant digits with an explicit sign.
std::string exponentForm(double v) {
    return (v < 0 ? "" : "+") + text::formatExponent(v, 7, 2);
}

} // namespace

SimulatedElectrometer::SimulatedElectrometer(const SimulatedDeviceOptions& options)
    : fixed_(options.reading), overflow_(options.hasFault("overflow")),
      noExponent_(options.hasFault("no-exponent")), badNumber_(options.hasFault("bad-number")),
      short_(options.hasFault("short")), rng_(options.seed) {}

void SimulatedElectrometer::receive(std::string_view bytes, std::int64_t nowMs) {
    if (originMs_ < 0) originMs_ = nowMs;
    for (char c : bytes) {
        if (c == '\r' || c == '\n') {
            const std::string line = trimmed(line_);
            line_.clear();
            if (!line.empty()) command(line, nowMs);
        } else if (line_.size() < kMaxCommand) {
            line_ += c;
        }
    }
}

void SimulatedElectrometer::queue(std::int64_t atMs, std::string text) {
    // The instrument answers in the order it was asked, whatever each answer takes.
    if (!pending_.empty()) atMs = std::max(atMs, pending_.back().atMs);
    pending_.push_back({atMs, std::move(text)});
}

void SimulatedElectrometer::pushError(int code, const char* text) {
    // The instrument's queue holds ten entries; later errors are lost.
    if (errors_.size() < 10) errors_.push_back(std::to_string(code) + ",\"" + text + "\"");
}

void SimulatedElectrometer::command(const std::string& line, std::int64_t nowMs) {
    const std::size_t space = line.find_first_of(" \t");
    std::string header = upper(line.substr(0, space));
    const std::string argument = space == std::string::npos ? "" : trimmed(line.substr(space + 1));
    if (!header.empty() && header[0] == ':') header.erase(0, 1);
    for (const char* prefix : {"SENSE:", "SENS:"})
        if (header.rfind(prefix, 0) == 0) header.erase(0, std::string(prefix).size());

    if (keyword(header, "FUNC", "FUNCTION")) {
        selectFunction(argument, nowMs);
    } else if (keyword(header, "FUNC?", "FUNCTION?")) {
        queue(nowMs + 2, std::string("\"") + nameOf(function_) + "\"\r\n");
    } else if (keyword(header, "FETC?", "FETCH?") || header == "READ?") {
        queue(nowMs + kMeasureMs, "");
    } else if (header == "*IDN?") {
        queue(nowMs + 2, "KEITHLEY INSTRUMENTS INC.,MODEL 6517A,1015782,A13  /A02\r\n");
    } else if (header == "*RST") {
        function_ = Function::Voltage;
    } else if (header == "*CLS") {
        errors_.clear();
    } else if (header == "SYST:ERR?" || header == "SYSTEM:ERROR?" || header == "SYST:ERR:NEXT?") {
        std::string e = errors_.empty() ? "0,\"No error\"" : errors_.front();
        if (!errors_.empty()) errors_.pop_front();
        queue(nowMs + 2, e + "\r\n");
    } else {
        pushError(-113, "Undefined header");
    }
}

void SimulatedElectrometer::selectFunction(const std::string& argument, std::int64_t nowMs) {
    std::string name = upper(argument);
    if (name.size() >= 2 && (name.front() == '\'' || name.front() == '"') && name.back() == name.front())
        name = name.substr(1, name.size() - 2);
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ":DC") == 0) name.resize(name.size() - 3);
    Function f;
    if (keyword(name, "VOLT", "VOLTAGE"))
        f = Function::Voltage;
    else if (keyword(name, "CURR", "CURRENT"))
        f = Function::Current;
    else if (keyword(name, "RES", "RESISTANCE"))
        f = Function::Resistance;
    else if (keyword(name, "CHAR", "CHARGE"))
        f = Function::Charge;
    else {
        // AC, frequency and temperature are no functions of this instrument: it keeps the one it has.
        pushError(-224, "Illegal parameter value");
        return;
    }
    if (f == Function::Charge && function_ != Function::Charge) {
        charge_ = 0.0;
        chargeAtMs_ = nowMs;
    }
    function_ = f;
}

double SimulatedElectrometer::current(double seconds) {
    // The beam decays over hours and ripples with the top-up cycle; the noise is the amplifier's.
    const double beam =
        std::exp(-seconds / 28800.0) * (1.0 + 0.02 * std::sin(2 * std::numbers::pi * seconds / 240.0));
    return 1.5e-9 * beam + std::normal_distribution<double>(0.0, 5e-12)(rng_);
}

double SimulatedElectrometer::measure(std::int64_t nowMs) {
    if (fixed_) return *fixed_;
    const double t = double(nowMs - originMs_) / 1000.0;
    switch (function_) {
    case Function::Voltage:
        return 0.25 + 2e-4 * std::sin(2 * std::numbers::pi * t / 900.0) +
               std::normal_distribution<double>(0.0, 2e-6)(rng_);
    case Function::Current:
        return current(t);
    case Function::Resistance:
        return 2.0e11 * (1.0 + std::normal_distribution<double>(0.0, 0.01)(rng_));
    case Function::Charge:
        charge_ += current(t) * double(nowMs - chargeAtMs_) / 1000.0;
        chargeAtMs_ = nowMs;
        return charge_;
    }
    return 0.0;
}

std::string SimulatedElectrometer::reading(std::int64_t nowMs) {
    const double v = measure(nowMs);
    if (overflow_) return "-9.9E+37\r\n";
    if (short_) return "1E-9\r\n";
    std::string number = exponentForm(v);
    if (noExponent_) number = (v < 0 ? "-" : "+") + text::formatFixed(std::fabs(v), 12);
    if (badNumber_) number.insert(4, "."); // "+1.2.34567E-09": a digit lost on the line
    return number + suffixOf(function_) + "\r\n";
}

std::vector<std::string> SimulatedElectrometer::due(std::int64_t nowMs) {
    std::vector<std::string> out;
    while (!pending_.empty() && pending_.front().atMs <= nowMs) {
        Pending p = std::move(pending_.front());
        pending_.pop_front();
        out.push_back(p.text.empty() ? reading(p.atMs) : std::move(p.text));
    }
    return out;
}

std::int64_t SimulatedElectrometer::nextDueMs() const {
    return pending_.empty() ? -1 : pending_.front().atMs;
}

} // namespace korvo
