#pragma once
// The servo drive's frame protocol as plain functions: command codes and values, the 16-character
// frames, what the link reads from a status line, and the conversion between the page's angle in
// degrees and the drive's position in increments.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvo::drive {

// Command codes (characters 2 to 8 of a frame) and their fixed values (characters 9 to 16).
inline constexpr const char* kPowerCode = "401001C";
inline constexpr const char* kMotorOnValue = "00000002";
inline constexpr const char* kMotorOffValue = "00000001";
inline constexpr const char* kStopValue = "00000004";
inline constexpr const char* kFaultResetValue = "00000008";
inline constexpr const char* kBrakeCode = "4010022";
inline constexpr const char* kReleaseBrakeValue = "00000008";
inline constexpr const char* kApplyBrakeValue = "00000000";
inline constexpr const char* kMoveCode = "4010023";
inline constexpr const char* kSpeedCode = "4050023";
inline constexpr const char* kEnableCode = "41F001D";
inline constexpr const char* kEnableValue = "00000001";

// The handshake frame and the drive's answer to it (never read as a status line).
inline constexpr const char* kHandshakeFrame = "###############01";
inline constexpr const char* kHandshakeAnswer = "#01";
// Sent before the handshake to bring a drive that has lost track of a frame back to a clean line.
inline constexpr const char* kWakeFrame = "0000000000000000";

// Drive increments per degree of the main axis: (2000/3) * 138 / 23, which is exactly 4000.
inline constexpr double kIncrementsPerDegree = 4000.0;

// `v` as 8 upper-case hexadecimal digits in 32-bit two's complement: -5000 gives "FFFFEC78".
std::string hex8(std::int32_t v);

// Whether `text` is exactly 8 hexadecimal digits (either case), as a frame's value must be.
bool isHex8(std::string_view text);

// The toggle digit of the next command frame: "0" when the status line's toggle bit (value 8 of its
// first character) is set, else "8", so that consecutive commands alternate.
char nextToggleDigit(std::string_view statusLine);

// The error flag of a status line: value 4 of its first character.
bool errorFlag(std::string_view statusLine);

// Character 5 of a status line is "0" while a commanded move runs. A line too short to hold it
// counts as ended, so that a garbled line cannot keep a move loop going.
bool moveEnded(std::string_view statusLine);

// Characters 9 to 16 of a status line (the actual position), or nullopt when the line is shorter.
std::optional<std::string> positionHex(std::string_view statusLine);

// "E" followed by the status line's characters from the 13th (at most 8): the error table's key.
std::string errorKey(std::string_view statusLine);

// Drive increments for `angle` with the angle that corresponds to position 0, rounded to the nearest
// integer with halves to even; nullopt when the drive's position could not hold its negation.
std::optional<std::int32_t> incrementsForAngle(double angle, double angleOffset);

// The angle a drive position stands for: the drive counts opposite to the angle.
double angleForPosition(std::int32_t position, double angleOffset);

} // namespace korvo::drive
