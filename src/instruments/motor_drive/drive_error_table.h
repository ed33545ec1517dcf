#pragma once
// The servo drive's error numbers and their texts, as the error box of the main-motor link shows them.
// A key is "E" followed by the drive's four hexadecimal digits ("E1024"); lookups match the text
// exactly, so a number the table does not know is shown as its bare key.
#include <cstddef>
#include <span>
#include <string_view>

namespace korvo {

struct DriveErrorEntry {
    const char* key;
    const char* text;
};

// All entries, in the order of the drive's error numbers.
std::span<const DriveErrorEntry> driveErrorTable();

// The text for `key`, or nullptr when the table has no such key.
const char* driveErrorText(std::string_view key);

} // namespace korvo
