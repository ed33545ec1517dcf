#pragma once
// Number formats of the spectrum file, shared by the writer and the reader.
#include "common/number_text.h"

#include <cstdint>
#include <string>

namespace korvo {

// Decimals of the energy column: the power of ten that lifts the step Ramp / Points to at least 1,
// but never fewer than 3. A downward scan counts by the step's size; a zero or non-finite step gets 3;
// absurdly small steps are held at 15 decimals, beyond which a double carries no digits.
int energyDecimals(double ramp, std::int32_t points);

// Energy column and energy header values: `decimals` decimals, `decimals` + 4 significant digits.
inline std::string formatEnergy(double value, int decimals) {
    return text::formatFixedPrecision(value, decimals + 4, decimals);
}
// Counts: rounded to an integer, no decimal point.
inline std::string formatCount(double value) {
    return text::formatFixedPrecision(value, 10, 0);
}
// UTF-8 text cut to at most `n` characters, never inside one.
std::string cutToCharacters(std::string text, std::size_t n);

// Channeltron offsets: "+0.0000", "-1.2500".
std::string formatOffset(double value);

} // namespace korvo
