#pragma once
// A Keithley 6517A electrometer on its serial link ("Keithley 1" or "Keithley 2"): SCPI text commands
// ended by CR and LF, one reading line per "FETCh?". A reading selects the measuring function, fetches
// a reading, cleans and scales it and leaves it in InstrumentValues::KeiValue (shared by both links,
// the run copies it right after each reading). When no reply comes the link is reconnected once and
// the query repeated; a final failure shows the time-out box and sets StopRequest.
//
// The page of the options window is kept here as plain data (ElectrometerPage); the window shows it,
// copies what is typed into its input fields and calls the operations below on button presses.
#include "instruments/electrometer/electrometer.h"
#include "instruments/instrument_context.h"
#include "instruments/line_assembler.h"
#include "instruments/serial/comm_port_driver.h"
#include "instruments/terminal_memo.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace korvo {

// The page's "Mode" radio buttons and the function each selects, in the order shown.
struct KeithleyMode {
    const char* caption;
    const char* function;
};
inline constexpr std::array<KeithleyMode, 8> kKeithleyModes{{
    {"Volt: DC", "VOLTage:DC"},
    {"Current: DC", "CURRent:DC"},
    {"Resistance", "RESistance"},
    {"Charge", "CHARge"},
    {"Frequency", "FREQuency"},
    {"Temperature", "TEMPerature"},
    {"Volt: AC", "VOLTage:AC"},
    {"Current: AC", "CURRent:AC"},
}};

// The baud-rate list and the speed each entry sets.
struct KeithleyBaud {
    const char* text;
    TComPortBaudRate speed;
};
inline constexpr std::array<KeithleyBaud, 7> kKeithleyBaudRates{{
    {"19200", br19200},
    {"9600", br9600},
    {"4800", br4800},
    {"2400", br2400},
    {"1200", br1200},
    {"600", br600},
    {"300", br300},
}};

// What the instrument must be set to, shown while the link is connected ("»" is how the instrument's
// menu path has always been written).
inline constexpr const char* kKeithleyInstallCaption = "Install these parameters";
inline constexpr const char* kKeithleyInstallTitle = "Install these parameters on\rthe KEITHLEY (6517A):";
inline constexpr const char* kKeithleyInstallLines =
    "Menu \u00BB Communications \u00BB RS-232\r"
    "         \u00BB Control \u00BB Send-Receive\r"
    "         \u00BB Baud \u00BB 19200\r"
    "         \u00BB Bits \u00BB 8\r"
    "         \u00BB Parity \u00BB None\r"
    "         \u00BB Stop \u00BB 1\r"
    "         \u00BB Elements \u00BB RDG \u00BB Yes\r"
    "                         \u00BB... all other ... \u00BB No";

// Page-status texts of the connection controls.
inline constexpr const char* kLinkDisconnected = "Disconnected";
inline constexpr const char* kLinkConnected = "Connected to COM";
inline constexpr const char* kLinkConnectFailed =
    "Error: could not connect. Check COM port settings and try again.";
// The connect-failure box: that text and, on a line of its own, why the port did not open.
inline std::string linkConnectFailedText(const std::string& reason) {
    return reason.empty() ? std::string(kLinkConnectFailed) : std::string(kLinkConnectFailed) + "\r" + reason;
}

// One "Keithley" page of the options window. The window copies what is typed into the input fields
// (the link reads them at every reading) and the output box's lines into `output`; everything else
// it only shows. Choices (mode, baud list, port) change through the link's operations.
struct ElectrometerPage {
    // ---- inputs, texts as typed
    std::string timeout = "5";     // time-out of a query in seconds (timeout_norm_k1 / _k2)
    std::string scaling = "1E+04"; // "Scaling factor:"; read at every reading
    bool enableTests = false;      // "Enable all tests !  (Only for tests ! Do not use !)": shows the
                                   // "Keithley Comunication" group (terminal boxes, memo buttons)

    // ---- choices and outputs
    int mode = 0;                           // checked "Mode" radio button (kKeithleyModes)
    std::string baudText = "Baud Rate";     // the baud list's text: no entry chosen yet
    TComPortNumber comPort = pnCOM2;        // checked "COM 1".."COM 4" radio button
    std::string status = kLinkDisconnected; // the page's status bar
    std::string resultLabel = "-------";    // Antwort_label_k1 / _k2
    TerminalMemo output;                    // output_K1 / output_k2: lines typed for the instrument
    TerminalMemo input;                     // input_K1 / input_k2: lines received; last = partial line
    std::string installCaption = kKeithleyInstallCaption; // panel caption
    std::string installTitle = kKeithleyInstallTitle;
    std::string installLines = kKeithleyInstallLines;
    bool installVisible = false;    // the set-up instructions panel, shown while connected
    bool readingVisible = false;    // the reading panel ("Read Data:", result label), shown while connected
    bool connectEnabled = true;     // "Connect COM"
    bool disconnectEnabled = false; // "Disconnect COM"
    bool comRadiosEnabled = true;   // "COM 1".."COM 4"
    bool readEnabled = false;       // "Read Data:"

    // Set by the window to refresh itself; called after every change above.
    std::function<void()> changed;
    // Set by the window: the beep that goes with the connect-failure box.
    std::function<void()> beep;
};

class ElectrometerLink final : public Electrometer {
public:
    // `paths` maps COM1..COM4 to device paths and must outlive the link. The driver starts on COM2
    // at 19200 baud, 8 data bits, no parity, DTR not raised.
    ElectrometerLink(InstrumentContext ctx, std::unique_ptr<ByteTransport> transport,
                     const ComPortPaths& paths);
    ~ElectrometerLink() override;
    ElectrometerLink(const ElectrometerLink&) = delete;
    ElectrometerLink& operator=(const ElectrometerLink&) = delete;

    // One reading (KeiRead1 / KeiRead2): called by the run, the calibration and "Read Data:".
    void KeiRead() override;
    // Sends `command` (when not empty), CR and LF, waits up to the page's time-out for a reply and
    // evaluates it. False only when no reply came; a reply that does not parse is reported and
    // still counts as a reply.
    bool KeiQuery(const std::string& command);

    // ---- page operations
    // "Connect COM": clears the terminal boxes and opens the port; on failure the page's status bar,
    // an information box and the beep say so. True when connected.
    bool connectCom();
    // "Disconnect COM".
    void disconnectCom();
    // "COM 1".."COM 4": ignored while connected.
    void chooseComPort(TComPortNumber port);
    // A device path typed directly instead of a port name (a simulator's /dev/pts/N); like the port,
    // it changes only while disconnected.
    void setDevicePath(const std::string& path);
    // A "Mode" radio button (index into kKeithleyModes; others are ignored).
    void chooseMode(int index);
    // An entry of the baud list (index into kKeithleyBaudRates; others are ignored): the speed is
    // taken at once, also while connected, and the terminal boxes are cleared.
    void chooseBaudRate(int index);
    // "Read Data:": a reading, unless the button is disabled (a reading is already under way).
    void readDataPressed();
    // Enter in the output box: its last line, CR and LF go to the instrument (only CR for an empty
    // box). The window calls this instead of letting the key through and adds the box's new line
    // itself.
    void terminalEnter();
    // "Clear memos".
    void clearMemos();
    // "Save  input_K": the input box as "test.dat" in `directory` (the current one by default),
    // one line each, CR LF ended. False with an error box when it cannot be written.
    bool saveInput(const std::string& directory = ".");

    // ---- state
    const std::string& KeiFunction() const { return keiFunction_; }
    const std::string& KeiReply() const { return keiReply_; }
    double KeiScale() const { return keiScale_; }
    double KeiRawValue() const { return keiRawValue_; }
    bool KeiReportErrors() const { return keiReportErrors_; }
    bool KeiBusy() const { return keiBusy_; }
    bool connected() const { return driver_.Connected(); }

    ElectrometerPage& page() { return page_; }
    const ElectrometerPage& page() const { return page_; }
    TCommPortDriver& driver() { return driver_; }

private:
    void receive(const char* data, std::int32_t size);
    void completeLine(const std::string& line);
    // Function selection, settle time, fields, the input box's line limit: what precedes every query.
    // False (reported, StopRequest set) when the scaling or time-out field is no number.
    bool prepareQuery();
    std::int64_t timeoutMs() const;
    // Opens the port; a failure is shown as "Connect COM" shows it, also when a reading reconnects.
    bool reconnect();
    void showConnection(bool connected);
    void clearTerminal();
    void notify();

    InstrumentContext ctx_;
    TCommPortDriver driver_;
    ElectrometerPage page_;
    std::string keiFunction_ = kKeithleyModes[0].function;
    std::string keiReply_;
    double keiScale_ = 1e4;
    double keiRawValue_ = 0.0;
    bool keiReportErrors_ = false;
    bool keiBusy_ = false;
    LineAssembler lines_{LineAssembler::Ends::CrOrLf};
};

} // namespace korvo
