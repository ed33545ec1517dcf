#include "instruments/electrometer/electrometer_link.h"

#include "common/file_util.h"
#include "common/number_text.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace korvo {

namespace {

// The status-bar text that scrolls while a query waits: 28 characters of it from a moving offset.
constexpr std::string_view kKeithleyWaitingText = "waiting for Keithley ...... waiting for Keithley";
constexpr std::size_t kWaitingWidth = 28;

// More lines than this in the input box and a reading drops the oldest one.
constexpr std::size_t kInputLineLimit = 20;

// Settle time after the function selection: the instrument switches before it is asked.
constexpr std::int64_t kFunctionSettleMs = 100;

constexpr std::string_view kNumberStart = "+-0123456789.";
constexpr std::string_view kNumberEnd = "0123456789.";

// The reply as a number text: cut after the exponent, then trimmed to what can start and end a number
// (the instrument's status and unit letters go, "+1.234567E-09NADC" -> "+1.234567E-09").
std::string cleanReply(std::string text) {
    if (const auto e = text.find('E'); e != std::string::npos) text.resize(std::min(text.size(), e + 5));
    std::size_t first = 0;
    while (first < text.size() && kNumberStart.find(text[first]) == std::string_view::npos) ++first;
    text.erase(0, first);
    while (!text.empty() && kNumberEnd.find(text.back()) == std::string_view::npos) text.pop_back();
    return text;
}

} // namespace

ElectrometerLink::ElectrometerLink(InstrumentContext ctx, std::unique_ptr<ByteTransport> transport,
                                   const ComPortPaths& paths)
    : ctx_(ctx), driver_(ctx.clock, ctx.timers, std::move(transport), paths) {
    driver_.setComPort(pnCOM2);
    driver_.setComPortSpeed(br19200);
    driver_.setComPortDataBits(db8BITS);
    driver_.setComPortParity(ptNONE);
    // The instrument's RS-232 port needs no DTR; raising it on open only disturbs adapters that
    // reset on it.
    driver_.setEnableDTROnOpen(false);
    driver_.OnReceiveData = [this](TCommPortDriver&, const char* data, std::int32_t size) {
        receive(data, size);
    };
}

ElectrometerLink::~ElectrometerLink() {
    // The driver closes the port as it goes; no batch may reach a link that is half gone.
    driver_.OnReceiveData = nullptr;
}

void ElectrometerLink::notify() {
    if (page_.changed) page_.changed();
}

// ---------------------------------------------------------------------------------------------------
// Receiving

void ElectrometerLink::receive(const char* data, std::int32_t size) {
    lines_.receive(page_.input, std::string_view(data, std::size_t(std::max(size, 0))),
                   [this](const std::string& line) { completeLine(line); });
    notify();
}

void ElectrometerLink::completeLine(const std::string& line) {
    const auto e = line.find('E');
    // A line without an exponent is no reading: whatever reply came before stays.
    if (e == std::string::npos) return;
    keiReply_ = line.substr(0, e + 4);
}

// ---------------------------------------------------------------------------------------------------
// Reading

std::int64_t ElectrometerLink::timeoutMs() const {
    // prepareQuery() has refused a time-out that is no number; a query sent without it (from a test
    // page) falls back to the field's default.
    const auto s = text::parseInt(page_.timeout);
    return std::int64_t(s ? *s : UnconnectedElectrometer::kTimeoutS) * 1000;
}

bool ElectrometerLink::prepareQuery() {
    driver_.SendText("func '" + keiFunction_ + "'");
    driver_.SendText("\r");
    driver_.SendText("\n");
    keepAlive(ctx_, kFunctionSettleMs);

    const auto scale = text::parseDouble(page_.scaling);
    const auto timeout = text::parseInt(page_.timeout);
    if (!scale || !timeout) {
        // A field that is no number stops the run as any failed reading does; the user sees which.
        ctx_.values.StopRequest = 1;
        ctx_.dialogs.error(kInstrumentCaption,
                           !scale
                               ? page_.scaling + " ist kein g\u00FCltiger Wert (Gleitkomma)\r(Leerzeichen?)"
                               : page_.timeout + " ist kein g\u00FCltiger Wert (ganzzahlig)\r(Leerzeichen?)");
        return false;
    }
    keiScale_ = *scale;
    keiReportErrors_ = true;
    if (page_.input.count() > kInputLineLimit) {
        page_.input.deleteFirst();
        notify();
    }
    return true;
}

void ElectrometerLink::KeiRead() {
    page_.readEnabled = false;
    notify();
    if (prepareQuery() && !KeiQuery("FETCh?")) {
        // One new start of the line, as the user would do with the page's buttons.
        disconnectCom();
        reconnect();
        clearTerminal();
        notify();
        if (prepareQuery() && !KeiQuery("FETCh?")) {
            ctx_.dialogs.error(kInstrumentCaption, "Error ! Timeout (" + page_.timeout +
                                                       " sec) !\rConnection to Keithley not ok ?");
            ctx_.values.StopRequest = 1;
        }
    }
    // A reading that ended with the link closed leaves the button with the closed link's state.
    page_.readEnabled = driver_.Connected();
    notify();
}

bool ElectrometerLink::KeiQuery(const std::string& command) {
    bool result = true;
    keiReply_.clear();
    if (!command.empty()) driver_.SendText(command);
    driver_.SendText("\r");
    driver_.SendText("\n");

    keiBusy_ = true;
    const std::int64_t deadline = ctx_.clock.nowMs() + timeoutMs();
    ctx_.status.setStatusPanelRaised(0, true);
    std::size_t offset = 0;
    do {
        ctx_.pump.pump();
        ctx_.status.setStatusPanel(0, " " + std::string(kKeithleyWaitingText.substr(offset, kWaitingWidth)));
        offset = (offset + 1) % kWaitingWidth;
        for (int i = 0; i < 2; ++i) {
            ctx_.clock.sleepMs(10);
            ctx_.pump.pump();
        }
    } while (ctx_.clock.nowMs() <= deadline && keiReply_.empty());
    ctx_.status.setStatusPanelRaised(0, false);
    ctx_.status.setStatusPanel(0, "Ready");

    if (keiReply_.empty()) result = false;
    keiBusy_ = false;
    // Too short for a reading: neither a value nor a message.
    if (keiReply_.size() < 5) return result;

    const std::string text = cleanReply(keiReply_);
    const auto raw = text::parseDouble(text);
    if (!raw) {
        if (keiReportErrors_) {
            ctx_.values.StopRequest = 1;
            ctx_.dialogs.error(kInstrumentCaption, "Keithley-Error ! (" + text + ")");
        }
        return result;
    }
    ctx_.values.KeiValue = *raw * keiScale_;
    keiRawValue_ = *raw;
    const double value = ctx_.values.KeiValue;
    page_.resultLabel = text::formatPattern(value, "0") + "  (" + text + ")";
    notify();
    if (std::fabs(value) > 1e30) {
        ctx_.dialogs.error(kInstrumentCaption, "Keithley Overflow !");
        ctx_.values.StopRequest = 1;
    }
    if (std::fabs(value) >= 1e9) {
        ctx_.dialogs.error(kInstrumentCaption, "Scaling factor to big !");
        ctx_.values.StopRequest = 1;
    }
    return result;
}

void ElectrometerLink::readDataPressed() {
    if (page_.readEnabled) KeiRead();
}

// ---------------------------------------------------------------------------------------------------
// Connection and page controls

void ElectrometerLink::showConnection(bool connected) {
    page_.status = connected ? kLinkConnected : kLinkDisconnected;
    page_.connectEnabled = !connected;
    page_.comRadiosEnabled = !connected;
    page_.disconnectEnabled = connected;
    page_.readEnabled = connected;
    page_.installVisible = connected;
    page_.readingVisible = connected;
}

bool ElectrometerLink::reconnect() {
    if (!driver_.Connect()) {
        page_.status = kLinkConnectFailed;
        notify();
        ctx_.dialogs.information("", linkConnectFailedText(driver_.lastError()));
        if (page_.beep) page_.beep();
        return false;
    }
    showConnection(true);
    notify();
    return true;
}

bool ElectrometerLink::connectCom() {
    clearTerminal();
    return reconnect();
}

void ElectrometerLink::disconnectCom() {
    showConnection(false);
    driver_.Disconnect();
    notify();
}

void ElectrometerLink::chooseComPort(TComPortNumber port) {
    driver_.setComPort(port);
    page_.comPort = driver_.ComPort();
    notify();
}

void ElectrometerLink::setDevicePath(const std::string& path) {
    driver_.setDevicePath(path);
}

void ElectrometerLink::chooseMode(int index) {
    if (index < 0 || index >= int(kKeithleyModes.size())) return;
    page_.mode = index;
    keiFunction_ = kKeithleyModes[std::size_t(index)].function;
    notify();
}

void ElectrometerLink::chooseBaudRate(int index) {
    if (index < 0 || index >= int(kKeithleyBaudRates.size())) return;
    const KeithleyBaud& b = kKeithleyBaudRates[std::size_t(index)];
    driver_.setComPortSpeed(b.speed); // reprograms an open port at once
    page_.baudText = b.text;
    clearTerminal();
    notify();
}

void ElectrometerLink::clearTerminal() {
    page_.output.clear();
    page_.input.clear();
    lines_.reset();
}

void ElectrometerLink::clearMemos() {
    clearTerminal();
    page_.input.addLine("");
    notify();
}

void ElectrometerLink::terminalEnter() {
    if (!driver_.Connected()) return;
    if (page_.output.empty()) {
        driver_.SendText("\r");
        return;
    }
    driver_.SendText(page_.output.lastLine());
    driver_.SendText("\r");
    driver_.SendText("\n");
}

bool ElectrometerLink::saveInput(const std::string& directory) {
    std::string bytes;
    for (const std::string& line : page_.input.lines()) bytes += line + "\r\n";
    const std::string path = (directory.empty() ? std::string(".") : directory) + "/test.dat";
    std::string error;
    if (writeFileAtomic(path, bytes, &error)) return true;
    ctx_.dialogs.error(kInstrumentCaption, "test.dat could not be saved: " + error);
    return false;
}

} // namespace korvo
