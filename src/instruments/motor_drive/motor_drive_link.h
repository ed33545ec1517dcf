#pragma once
// The servo drive of the main manipulator axis on its serial link (COM2, 9600 baud, 7 data bits, even
// parity): 16-character command frames with a toggle digit, one status line per request, the
// handshake, the motor buttons, moves by angle, increments or hexadecimal position, and the automatic
// move sequence that the script runs. Every request waits with the interface alive and ends at its
// time-out; failures are reported in error boxes as the page always did.
#include "instruments/instrument_context.h"
#include "instruments/line_assembler.h"
#include "instruments/motor_drive/motor_drive.h"
#include "instruments/motor_drive/motor_drive_page.h"
#include "instruments/serial/comm_port_driver.h"

#include <cstdint>
#include <memory>
#include <random>
#include <string>

namespace korvo {

class MotorDriveLink final : public MotorDrive {
public:
    // `paths` maps COM1..COM4 to devices and must outlive the link.
    MotorDriveLink(InstrumentContext ctx, std::unique_ptr<ByteTransport> transport,
                   const ComPortPaths& paths);
    MotorDriveLink(const MotorDriveLink&) = delete;
    MotorDriveLink& operator=(const MotorDriveLink&) = delete;

    TCommPortDriver& CommPortDriver_2() { return driver_; }
    MotorDrivePage& page() { return page_; }
    const MotorDrivePage& page() const { return page_; }

    // ---- connection controls of the page
    // "Connect COM": empties the terminal boxes and opens the port; "Open_con" is enabled on success.
    bool connectCom();
    // "Disconnect COM": closes the port, disables "Open_con" and hides the motor buttons.
    void disconnectCom();
    bool connected() const { return driver_.Connected(); }

    // ---- requests
    // Sends `command` (may be empty: a status request) and CR, then waits for one line. True when a
    // line arrived and, with DriveCheckErrors set, it carries no error flag (or is the handshake
    // answer). A time-out or a drive error is shown in an error box.
    bool DriveQuery(const std::string& command);
    // A status request picks the toggle digit, then the frame is sent with errors checked; without a
    // status line nothing is sent. True when the drive took the command.
    bool DriveCommand(const std::string& code, const std::string& value);
    // "Open_con": wakes the drive, shakes hands, enables it and sets the speed to 10.
    void DriveOpen();
    // Sends the speed box's value (0 to 30).
    bool DriveSetSpeed();
    // "Move To Angle !": the angle box converted to increments, then as "Calc and Move".
    bool DriveMoveToAngle();
    // "Calc and Move": the increments box converted to the drive's position, then as "Move to Hex".
    bool DriveCalcAndMove();
    // "Move to Hex": commands the move to the hex box's position and follows it to its end, showing
    // the position reached. True when the drive reported the move ended.
    bool DriveMoveToHex();
    // "Define Position": the drive's present position reads from now on as the angle typed in.
    bool DriveDefinePosition();
    // The script's automatic move to `targetAngle` (the text placed into the angle box).
    void DriveAutoMove(const std::string& targetAngle) override;
    // The automatic-move button: fault reset, motor on, brake off, move, brake on, motor off, with a
    // pause between the steps. A failed step leaves StopRequest set, so a script line's run stops.
    void DriveAutoMove();

    // ---- motor buttons
    bool MotorOn();
    bool MotorOff();
    bool MotorStop();
    // "Fault-Reset" also empties the terminal boxes and enables the automatic-move button again.
    bool FaultReset();
    bool RemoveBrake();
    bool TightenBrake();
    // The test button "100": `count` moves to random angles from -300.0 to 299.9 degrees, each
    // followed by a random pause of 1 to 10 pause units; ends at the first move that fails.
    void DriveRandomMoves(int count = 100);

    // ---- page switches and the terminal
    void setStepByStep(bool ticked);
    void toggleMotorButtons(); // "show buttons"
    void setTestsEnabled(bool ticked);
    // Enter in output_2: sends the box's last line (if any) and CR, when connected.
    void terminalEnter();
    // "Clear memos": both boxes empty, one empty line in input_2.
    void clearMemos();

    // The driver's receive callback: builds lines in input_2; a completed line becomes DriveReply.
    void CommPortDriver_2ReceiveData(const char* data, std::int32_t size);

    // ---- state
    const std::string& DriveReply() const { return DriveReply_; }
    bool DriveCheckErrors() const { return DriveCheckErrors_; }
    std::int32_t DriveErrorCode() const { return DriveErrorCode_; }
    // True while a request waits; a button's request may run inside another's wait.
    bool DriveBusy() const { return busyDepth_ > 0; }
    double angleOffset() const { return angleOffset_; }
    // The pause unit of the automatic move and the random moves (1000 ms; tests shorten it).
    void setPauseMs(std::int64_t ms) { pauseMs_ = ms; }
    void seedRandom(std::uint32_t seed) { rng_.seed(seed); }

private:
    void notify();
    void setAngleColour(std::uint32_t colour);
    void clearTerminals();
    void sendLine(const std::string& text);
    void showWaiting(int step);
    void refuse(const std::string& text, const std::string& what);
    void pauseFor(std::int64_t ms);

    InstrumentContext ctx_;
    TCommPortDriver driver_;
    MotorDrivePage page_;
    std::string DriveReply_;
    LineAssembler lines_{LineAssembler::Ends::Cr};
    bool DriveCheckErrors_ = false;
    std::int32_t DriveErrorCode_ = 0;
    int busyDepth_ = 0;
    double angleOffset_ = 0.0;
    std::int64_t pauseMs_ = 1000;
    std::mt19937 rng_;
};

} // namespace korvo
