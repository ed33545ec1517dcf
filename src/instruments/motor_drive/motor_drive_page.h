#pragma once
// The "Main Motor" page of the options window as plain data: the texts typed into its fields, its
// terminal boxes, and what the link decides about it (the angle box's colour, which panels and
// buttons are visible or enabled). The window shows this struct and calls the link's operations;
// `changed` tells it to refresh.
#include "instruments/terminal_memo.h"

#include <cstdint>
#include <functional>
#include <string>

namespace korvo {

// Background colours of the angle box, as colour numbers 0x00BBGGRR.
inline constexpr std::uint32_t kDriveAngleWindow = 0xFFFFFF;   // as the field starts
inline constexpr std::uint32_t kDriveAngleMoving = 0x0000FF;   // red: a move has been commanded
inline constexpr std::uint32_t kDriveAngleIdle = 0x80FF80;     // light green (128, 255, 128)
inline constexpr std::uint32_t kDriveAnglePowered = 0x80FFFF;  // light yellow (255, 255, 128)
inline constexpr std::uint32_t kDriveAngleReleased = 0x8080FF; // light red (255, 128, 128)

struct MotorDrivePage {
    // Fields as typed.
    std::string angle = "0";      // Edit15: target angle in degrees; shows the angle reached
    std::string increments = "0"; // Edit13: position in drive increments, decimal
    std::string hex = "00000000"; // Edit14: position as the drive's 8 hexadecimal digits
    std::string speed = "10";     // speed_edit_2
    std::string timeout = "3";    // timeout_norm_2: seconds a request waits for its status line
    TerminalMemo output;          // output_2: frames typed for the drive
    TerminalMemo input;           // input_2: lines received from the drive

    // Check boxes.
    bool stepByStep = false;   // "Step by Step Mode"
    bool testsEnabled = false; // "Enable all tests !  (Only for tests ! Do not use !)"

    // What the link sets.
    std::uint32_t angleColour = kDriveAngleWindow;
    bool openEnabled = false;          // "Open_con": while the port is connected
    bool motorPanelVisible = false;    // the motor buttons: after a successful handshake, "show buttons"
    bool autoMoveVisible = true;       // the automatic-move button, hidden in step-by-step mode
    bool autoMoveEnabled = true;       // disabled while the automatic move runs
    bool communicationVisible = false; // the "Motor Comunication" test group
    bool randomMovesEnabled = false;   // the test button "100"

    std::function<void()> changed;
};

} // namespace korvo
