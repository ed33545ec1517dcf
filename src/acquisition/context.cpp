#include "acquisition/context.h"

namespace korvo {

const std::array<Rgb, 10> kChannelColours{{
    {128, 128, 128}, // 0 grey
    {255, 0, 0},     // 1 red
    {51, 136, 51},   // 2 green
    {255, 0, 255},   // 3 magenta
    {0, 0, 255},     // 4 blue
    {0, 255, 255},   // 5 cyan
    {0, 0, 0},       // 6 black
    {136, 136, 136}, // 7 grey
    {0, 255, 0},     // 8 lime
    {136, 51, 255},  // 9 violet
}};

void UnconnectedInstruments::pumpFor(std::int64_t ms) {
    const std::int64_t end = ctx_.clock.nowMs() + ms;
    do {
        ctx_.pump.pump();
        ctx_.clock.sleepMs(10);
    } while (ctx_.clock.nowMs() < end);
    ctx_.pump.pump();
}

// The link would send "SPO ..." and wait for the reply; with no port nothing is sent. It leaves an
// error code rather than the previous operation's success, so that nobody takes the move as done.
void UnconnectedInstruments::MonoGoEnergy(const std::string&) {
    ctx_.values.MonoError = 1;
    ctx_.values.StopRequest = 1;
}

// A stop always raises both flags and lets pending clicks through; the stop command itself needs
// the port, so MonoError stays as the last operation left it.
void UnconnectedInstruments::MonoStop() {
    ctx_.values.StopRequest = 1;
    ctx_.values.MonoStopRequest = true;
    for (int i = 0; i < 2; ++i) {
        pumpFor(100);
        ctx_.pump.pump();
    }
}

void UnconnectedInstruments::MonoOpen() {}
void UnconnectedInstruments::MonoClose() {}
void UnconnectedInstruments::MonoGetPosition() {}

// A reading on a link without a port: the function selection goes nowhere, the query times out,
// reconnecting is impossible, the repeated query times out as well, and the reading ends in the
// link's time-out box. KeiValue keeps what it held.
void UnconnectedInstruments::keiRead() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        ctx_.pump.pump();
        ctx_.clock.sleepMs(100);
        pumpFor(kKeithleyTimeoutS * 1000);
    }
    ctx_.dialogs.error(kInstrumentCaption, "Error ! Timeout (" + std::to_string(kKeithleyTimeoutS) +
                                               " sec) !\rConnection to Keithley not ok ?");
    ctx_.values.StopRequest = 1;
}

void UnconnectedInstruments::KeiRead1() {
    keiRead();
}

void UnconnectedInstruments::KeiRead2() {
    keiRead();
}

void UnconnectedInstruments::driveRequestTimesOut() {
    pumpFor(kDriveTimeoutS * 1000);
    ctx_.dialogs.error(kInstrumentCaption, "Error ! Timeout (" + std::to_string(kDriveTimeoutS) +
                                               " sec) !\rConnection to the main-motor not ok ?");
}

// The automatic move sequence with no drive answering: every command first asks for status, that
// request times out and nothing is sent; the pauses between the steps remain.
void UnconnectedInstruments::DriveAutoMove(const std::string&) {
    ctx_.pump.pump();
    driveRequestTimesOut(); // fault reset
    driveRequestTimesOut(); // motor on
    pumpFor(1000);
    driveRequestTimesOut(); // release brake
    pumpFor(1000);
    driveRequestTimesOut(); // move to the angle: no status, no move
    pumpFor(1000);
    driveRequestTimesOut(); // apply brake
    pumpFor(1000);
    driveRequestTimesOut(); // motor off
    ctx_.values.StopRequest = 1;
}

} // namespace korvo
