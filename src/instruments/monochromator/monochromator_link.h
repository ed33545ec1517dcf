#pragma once
// The monochromator on its serial line (CommPortDriver_1: COM1, 9600 baud, 8 data bits, no parity,
// DTR on). Three-letter commands ended by CR, one reply line per command ended by CR, "t" first for
// success. On it sit the operations of the "Monochr." page (open, close, get position, go to a
// wavelength or an energy, stop, get status), the wait for a reply that keeps the interface alive,
// the move loop that polls until the monochromator is idle, and a controller the link can play
// itself for tests. Results go to InstrumentValues (MonoError, MonoStopRequest, StopRequest); the
// page's boxes and buttons live in MonochromatorPage.
//
// Until its port is connected the link behaves as UnconnectedMonochromator.
#include "instruments/instrument_context.h"
#include "instruments/line_assembler.h"
#include "instruments/monochromator/mono_simulator.h"
#include "instruments/monochromator/monochromator.h"
#include "instruments/monochromator/monochromator_page.h"
#include "instruments/serial/comm_port_driver.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace korvo {

class MonochromatorLink final : public Monochromator {
public:
    // Photon energy (eV) times wavelength (nm).
    static constexpr double kEnergyWavelength = 1239.842446802427;

    // `paths` must outlive the link.
    MonochromatorLink(InstrumentContext ctx, std::unique_ptr<ByteTransport> transport,
                      const ComPortPaths& paths);
    MonochromatorLink(const MonochromatorLink&) = delete;
    MonochromatorLink& operator=(const MonochromatorLink&) = delete;

    // ---- what the acquisition calls
    bool connected() const override { return CommPortDriver_1_.Connected(); }
    // Puts `energyText` into the energy box and moves there (MonoGoEnergy() below).
    void MonoGoEnergy(const std::string& energyText) override;
    // Raises StopRequest and MonoStopRequest, lets pending clicks through for 200 ms, then sends
    // "STO" and reads the position back. Does not reset MonoError first: a move loop that ended with
    // code 3 is still followed by a position read.
    void MonoStop() override;
    // "OPN", waiting as long as the open time-out box says; shows the motion panel on success.
    void MonoOpen() override;
    // Hides the motion panel, then "CLO".
    void MonoClose() override;
    // "GPO": the wavelength box gets the position, the energy box and the main window's photon field
    // the photon energy it means ("0.000").
    void MonoGetPosition() override;
    // The zero-order box.
    std::string zeroOrderText() const override { return page_.Edit1; }

    // ---- the page's buttons
    // "Go Energy": the energy box (the zero-order box when it holds 0) as a wavelength with six
    // decimals after "SPO ", then the move loop.
    void MonoGoEnergy();
    // "Go Wavelength": "SPO " and the wavelength box exactly as typed, then the move loop.
    void MonoGoWavelength();
    // "Get Status": "GST"; the reply in an information box.
    void MonoGetStatus();
    // "Connect COM" / "Disconnect COM": the link's part of them (terminal boxes, buttons, motion
    // panel). The window shows its own status text and the connect-failure box.
    bool connectCom();
    void disconnectCom();
    // Enter in output_1: its last line and CR are sent (only CR when the box is empty); with the
    // simulator on, the simulator answers it.
    void terminalEnter();
    // "Clear memos".
    void clearMemos();
    // "memo2.savetofie": input_1 as "test.txt" in the current directory, one line per received line.
    bool saveInputMemo(std::string* error = nullptr) const;

    // ---- the protocol itself
    // The receive callback: completes the partial line (the last line of input_1) with the bytes.
    void CommPortDriver_1ReceiveData(TCommPortDriver& sender, const char* data, std::int32_t size);
    // The built-in controller answers `command` as if the reply had been received.
    void MonoSimulate(const std::string& command);

    TCommPortDriver& CommPortDriver_1() { return CommPortDriver_1_; }
    MonochromatorPage& page() { return page_; }
    const MonochromatorPage& page() const { return page_; }
    // The last complete reply line (reduced by the operations as they read it); empty while waiting.
    const std::string& MonoReply() const { return MonoReply_; }
    // True while a reply is awaited.
    bool MonoBusy() const { return waitDepth_ > 0; }
    const MonoSimulator& simulator() const { return simulator_; }

    // The main window's photon field; set by whoever builds the station. Called with the photon
    // energy ("0.000") each time a position has been read back.
    std::function<void(const std::string&)> photonFieldShown;

private:
    // Whether a command may be sent again when an operation started during its wait took its reply.
    enum class Resend { No, Yes };

    void send(const std::string& command);
    // Empties MonoReply, sends `command`, waits. False when an operation run from the event pump
    // took the line over and left its own result.
    bool exchange(const std::string& command, int seconds, Resend resend);
    bool MonoWait(int seconds, const std::string& command, Resend resend);
    void moveLoop();
    // What follows an "SPO": nothing after a time-out, the set-failure box, or the move loop.
    void afterSetPosition(bool ownReply);
    void failure(const char* text, const char* hint);
    int openTimeout() const;
    int normalTimeout() const;
    void setExchangeButtons(bool enabled);
    void changed();

    InstrumentContext ctx_;
    UnconnectedMonochromator unconnected_;
    MonochromatorPage page_;
    MonoSimulator simulator_;
    std::string MonoReply_;
    LineAssembler lines_{LineAssembler::Ends::Cr};
    int waitDepth_ = 0;
    // Counts every command sent, so that a wait notices an operation that ran inside it.
    std::uint64_t sent_ = 0;
    // Commands sent whose reply has not arrived; a line that answers an earlier one of them is not
    // taken as the reply to the latest.
    int unanswered_ = 0;
    // Last: it calls back into the members above until it is gone.
    TCommPortDriver CommPortDriver_1_;
};

} // namespace korvo
