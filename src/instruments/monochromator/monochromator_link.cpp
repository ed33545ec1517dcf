#include "instruments/monochromator/monochromator_link.h"

#include "common/file_util.h"
#include "common/number_text.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace korvo {

namespace {

constexpr char kCR = '\r';

constexpr int kDefaultOpenTimeoutS = 30;
constexpr int kDefaultNormalTimeoutS = 3;

// Scrolls by one character per pass of the wait, 32 characters at a time.
const std::string kWaitingText = "waiting for monocromator ...... waiting for monocromator";

constexpr const char* kHintClose = "Options -> Setup -> Monochromator -> Close_con !";
constexpr const char* kHintOpen = "Options -> Setup -> Monochromator -> Open_con !";
constexpr const char* kOpenFailed = "Error from monochromator !\rCould not open the connection to the "
                                    "monochromator ?\rClose the connection to the monochromator !";
constexpr const char* kCloseFailed = "Error from monochromator !\rCould not close the connection to the "
                                     "monochromator ?\rOpen the connection to the monochromator !";
constexpr const char* kReadFailed = "Error from monochromator !\rCould not read data from monochromator "
                                    "?\rOpen the connection to the monochromator !";
constexpr const char* kSetFailed = "Error from monochromator !\rCould not set the monochromator ?\rOpen "
                                   "the connection to the monochromator !";
constexpr const char* kMoveStatusFailed = "Error from monochromator !\rCould not read the status from "
                                          "monochromator ?\rOpen the connection to the monochromator !";
constexpr const char* kStopFailed = "Error from monochromator !\rCould not stop the monochromator ?\rOpen "
                                    "the connection to the monochromator !";
constexpr const char* kStatusFailed = "Error from monochromator !\rCould not read the monochromator "
                                      "status?\rOpen the connection to the monochromator !";

// A time-out box as typed; a text that is no whole number keeps the box's default, and a negative
// one waits a single pass.
int seconds(const std::string& textValue, int fallback) {
    const auto s = text::parseInt(textValue);
    if (!s) return fallback;
    return *s < 0 ? 0 : *s;
}

} // namespace

MonochromatorLink::MonochromatorLink(InstrumentContext ctx, std::unique_ptr<ByteTransport> transport,
                                     const ComPortPaths& paths)
    : ctx_(ctx), unconnected_(ctx), CommPortDriver_1_(ctx.clock, ctx.timers, std::move(transport), paths) {
    TCommPortDriver& d = CommPortDriver_1_;
    d.setComPort(pnCOM1);
    d.setComPortSpeed(br9600);
    d.setComPortDataBits(db8BITS);
    d.setComPortParity(ptNONE);
    d.setEnableDTROnOpen(true);
    d.OnReceiveData = [this](TCommPortDriver& sender, const char* data, std::int32_t size) {
        CommPortDriver_1ReceiveData(sender, data, size);
    };
}

// ---------------------------------------------------------------------------------------------------
// Wire

void MonochromatorLink::send(const std::string& command) {
    ++sent_;
    // Text and CR go as two writes, as the controller has always been addressed.
    CommPortDriver_1_.SendText(command);
    const char cr = kCR;
    CommPortDriver_1_.SendData(&cr, 1);
    if (page_.simulation_on_1)
        MonoSimulate(command);
    else
        ++unanswered_;
}

void MonochromatorLink::CommPortDriver_1ReceiveData(TCommPortDriver&, const char* data, std::int32_t size) {
    lines_.receive(page_.input_1, std::string_view(data, std::size_t(std::max(size, 0))),
                   [this](const std::string& line) {
                       if (unanswered_ > 1) {
                           // A late answer to a command sent before the latest one (its wait was
                           // taken over by an operation started from the pump): it is not the reply
                           // being waited for.
                           --unanswered_;
                       } else {
                           unanswered_ = 0;
                           MonoReply_ = line;
                       }
                   });
    changed();
}

bool MonochromatorLink::exchange(const std::string& command, int seconds, Resend resend) {
    MonoReply_.clear();
    send(command);
    return MonoWait(seconds, command, resend);
}

bool MonochromatorLink::MonoWait(int seconds, const std::string& command, Resend resend) {
    InstrumentValues& v = ctx_.values;
    if (++waitDepth_ == 1) setExchangeButtons(false);
    ctx_.status.setStatusPanelRaised(0, true);

    std::int64_t deadline = ctx_.clock.nowMs() + std::int64_t(seconds) * 1000;
    std::uint64_t mine = sent_;
    bool taken = false;
    std::size_t k = 0;
    do {
        ctx_.pump.pump();
        ctx_.status.setStatusPanel(0, " " + kWaitingText.substr(k, 32));
        k = (k + 1) % 32;
        for (int i = 0; i < 2; ++i) {
            ctx_.clock.sleepMs(10);
            ctx_.pump.pump();
        }
        if (sent_ != mine) {
            // An operation started from the pump (a stop, "Get Pos !") has exchanged its own lines;
            // MonoReply is its reply, ours went to it. A query is simply asked again; a command that
            // must not be repeated ends the wait with that operation's result.
            if (resend == Resend::No) {
                taken = true;
                break;
            }
            MonoReply_.clear();
            send(command);
            mine = sent_;
            deadline = ctx_.clock.nowMs() + std::int64_t(seconds) * 1000;
        }
    } while (ctx_.clock.nowMs() <= deadline && MonoReply_.empty());

    if (waitDepth_ == 1) {
        ctx_.status.setStatusPanelRaised(0, false);
        ctx_.status.setStatusPanel(0, "Ready");
    }
    if (!taken) {
        if (MonoReply_.empty()) {
            v.MonoError = 1;
            unanswered_ = 0; // the reply is given up; whatever comes next answers the next command
            if (!v.MonoQuiet)
                ctx_.dialogs.error(kInstrumentCaption,
                                   "Error ! Timeout (" + std::to_string(seconds) +
                                       " sec) !\rConnection to the monochromator not ok ?");
        } else if (MonoReply_[0] != 't') {
            v.MonoError = 2;
        }
    }
    if (--waitDepth_ == 0) setExchangeButtons(CommPortDriver_1_.Connected());
    ctx_.status.setStatusPanel(1, " Monochromator: " + std::to_string(v.MonoError));
    changed();
    return !taken;
}

// ---------------------------------------------------------------------------------------------------
// Operations

void MonochromatorLink::MonoOpen() {
    if (!connected()) return;
    ctx_.values.MonoError = 0;
    if (!exchange("OPN", openTimeout(), Resend::No)) return;
    if (ctx_.values.MonoError == 0) {
        page_.motionPanelVisible = true;
        changed();
    } else if (ctx_.values.MonoError == 2) {
        failure(kOpenFailed, kHintClose);
    }
}

void MonochromatorLink::MonoClose() {
    if (!connected()) return;
    ctx_.values.MonoError = 0;
    page_.motionPanelVisible = false;
    changed();
    if (!exchange("CLO", normalTimeout(), Resend::No)) return;
    if (ctx_.values.MonoError == 2) failure(kCloseFailed, kHintOpen);
}

void MonochromatorLink::MonoGetPosition() {
    if (!connected()) return;
    InstrumentValues& v = ctx_.values;
    v.MonoError = 0;
    exchange("GPO", normalTimeout(), Resend::Yes);
    if (v.MonoError == 2) {
        failure(kReadFailed, kHintOpen);
        return;
    }
    if (v.MonoError != 0) return;
    const std::size_t space = MonoReply_.find(' ');
    MonoReply_ = MonoReply_.substr(space == std::string::npos ? 0 : space + 1, 100);
    // A position that is no wavelength would otherwise end as an infinite or negative energy in
    // the boxes and the photon field: it is a reply the link cannot use.
    const auto wavelength = text::parseDouble(MonoReply_);
    if (!wavelength || !(*wavelength > 0)) {
        v.MonoError = 2;
        ctx_.status.setStatusPanel(1, " Monochromator: 2");
        failure(kReadFailed, kHintOpen);
        return;
    }
    const std::string energy = text::formatPattern(kEnergyWavelength / *wavelength, "0.000");
    page_.wellenlaenge1 = MonoReply_;
    page_.energy1 = energy;
    changed();
    if (photonFieldShown) photonFieldShown(energy);
}

void MonochromatorLink::MonoGoEnergy(const std::string& energyText) {
    if (!connected()) {
        unconnected_.MonoGoEnergy(energyText);
        return;
    }
    page_.energy1 = energyText;
    MonoGoEnergy();
}

void MonochromatorLink::MonoGoEnergy() {
    if (!connected()) return;
    InstrumentValues& v = ctx_.values;
    v.MonoError = 0;
    v.MonoStopRequest = false;
    clearMemos();
    if (const auto e = text::parseDouble(page_.energy1); e && *e == 0) page_.energy1 = page_.Edit1;
    changed();
    const auto energy = text::parseDouble(page_.energy1);
    if (!energy || !(*energy > 0)) {
        // Nothing to send: the wavelength of such an energy is no number. The move has not been
        // made, so it must not read as a success.
        v.MonoError = 2;
        ctx_.status.setStatusPanel(1, " Monochromator: 2");
        if (!v.MonoQuiet)
            ctx_.dialogs.error(
                kInstrumentCaption,
                energy ? "\"" + page_.energy1 + "\" is out of range: the photon energy must be above 0 eV."
                       : page_.energy1 + " ist kein gültiger Wert (Gleitkomma)\r(Leerzeichen?)");
        return;
    }
    const std::string target = text::formatPattern(kEnergyWavelength / *energy, "0.000000");
    afterSetPosition(exchange("SPO " + target, normalTimeout(), Resend::No));
}

void MonochromatorLink::MonoGoWavelength() {
    if (!connected()) return;
    ctx_.values.MonoError = 0;
    ctx_.values.MonoStopRequest = false;
    clearMemos();
    afterSetPosition(exchange("SPO " + page_.wellenlaenge1, normalTimeout(), Resend::No));
}

void MonochromatorLink::afterSetPosition(bool ownReply) {
    const int code = ctx_.values.MonoError;
    if (!ownReply) {
        // A stop pressed while the move was being set took the reply; the move loop reads the
        // position back and honours the stop. A failed stop has spoken for itself.
        if (code == 0) moveLoop();
        return;
    }
    if (code == 2) failure(kSetFailed, kHintOpen);
    if (code == 0) moveLoop();
}

void MonochromatorLink::moveLoop() {
    InstrumentValues& v = ctx_.values;
    for (;;) {
        MonoGetPosition();
        if (v.MonoError != 0) return;
        exchange("GST", normalTimeout(), Resend::Yes);
        if (v.MonoError == 1) return;
        if (v.MonoError == 2) {
            failure(kMoveStatusFailed, kHintOpen);
            return;
        }
        // Kept aside: a stop handled during the pause exchanges lines of its own.
        const std::string status = MonoReply_;
        keepAlive(ctx_, 100);
        if (status != "t 0" && status != "t 1") {
            v.MonoError = 3;
            ctx_.status.setStatusPanel(1, " Monochromator: 3");
            return;
        }
        MonoReply_ = status.substr(2, 1);
        if (MonoReply_ == "0" || v.MonoStopRequest) {
            if (v.MonoStopRequest) {
                keepAlive(ctx_, 500);
                exchange("STO", normalTimeout(), Resend::Yes);
                if (v.MonoError == 2)
                    failure(kStopFailed, kHintOpen);
                else if (v.MonoError == 0)
                    MonoGetPosition();
            }
            return;
        }
    }
}

void MonochromatorLink::MonoStop() {
    InstrumentValues& v = ctx_.values;
    v.StopRequest = 1;
    MonoReply_.clear();
    v.MonoStopRequest = true;
    for (int i = 0; i < 2; ++i) {
        keepAlive(ctx_, 100);
        ctx_.pump.pump();
    }
    if (!connected()) return;
    exchange("STO", normalTimeout(), Resend::Yes);
    if (v.MonoError == 2)
        failure(kStopFailed, kHintOpen);
    else if (v.MonoError != 1)
        MonoGetPosition();
}

void MonochromatorLink::MonoGetStatus() {
    if (!connected()) return;
    ctx_.values.MonoError = 0;
    exchange("GST", normalTimeout(), Resend::Yes);
    if (ctx_.values.MonoError == 0)
        ctx_.dialogs.information("", "Status: " + MonoReply_);
    else if (ctx_.values.MonoError == 2)
        failure(kStatusFailed, kHintOpen);
}

// ---------------------------------------------------------------------------------------------------
// Page

bool MonochromatorLink::connectCom() {
    clearMemos();
    if (!CommPortDriver_1_.Connect()) return false;
    unanswered_ = 0;
    page_.buttons.connect = false;
    page_.buttons.stop = true;
    setExchangeButtons(waitDepth_ == 0);
    changed();
    return true;
}

void MonochromatorLink::disconnectCom() {
    CommPortDriver_1_.Disconnect();
    page_.buttons = MonochromatorButtons{};
    page_.motionPanelVisible = false;
    unanswered_ = 0;
    changed();
}

void MonochromatorLink::terminalEnter() {
    if (!connected()) return;
    const std::string line = page_.output_1.lastLine();
    CommPortDriver_1_.SendText(line);
    const char cr = kCR;
    CommPortDriver_1_.SendData(&cr, 1);
    if (page_.simulation_on_1) MonoSimulate(line);
}

void MonochromatorLink::clearMemos() {
    page_.Sim_out_1.clear();
    page_.output_1.clear();
    page_.input_1.clear();
    page_.input_1.addLine("");
    changed();
}

bool MonochromatorLink::saveInputMemo(std::string* error) const {
    std::string bytes;
    for (const std::string& line : page_.input_1.lines()) bytes += line + "\r\n";
    return writeFileAtomic("test.txt", bytes, error);
}

void MonochromatorLink::MonoSimulate(const std::string& command) {
    page_.Sim_out_1.addLine(command);
    const std::string reply = simulator_.reply(command);
    page_.Sim_out_1.addLine(reply);
    MonoReply_ = reply;
    changed();
}

// ---------------------------------------------------------------------------------------------------
// Helpers

void MonochromatorLink::failure(const char* textValue, const char* hint) {
    if (!ctx_.values.MonoQuiet)
        ctx_.dialogs.error(kInstrumentCaption, std::string(textValue) + "\r\r" + hint);
}

int MonochromatorLink::openTimeout() const {
    return seconds(page_.timeout_max_1, kDefaultOpenTimeoutS);
}

int MonochromatorLink::normalTimeout() const {
    return seconds(page_.timeout_norm_1, kDefaultNormalTimeoutS);
}

void MonochromatorLink::setExchangeButtons(bool enabled) {
    MonochromatorButtons& b = page_.buttons;
    b.disconnect = b.open = b.close = b.getStatus = b.goWavelength = b.goEnergy = b.getPosition = enabled;
    changed();
}

void MonochromatorLink::changed() {
    if (page_.changed) page_.changed();
}

} // namespace korvo
