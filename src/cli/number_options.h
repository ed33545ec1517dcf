#pragma once
// Whole numbers on korvo-cli's command line are decimal, as a user means them: "08" is eight, not a
// refused octal number, and "010" is ten, not eight; "0x10" is no number here, and none of these
// options takes a negative one.
#include <CLI/CLI.hpp>

#include <string>

namespace korvo {

// Put on an integer option with `->transform(decimalInteger())`: it rewrites the digits without their
// leading zeros, which CLI11 then reads as the decimal number they are, before any other check.
inline CLI::Validator decimalInteger() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const std::size_t digits = !text.empty() && text[0] == '+' ? 1 : 0;
            if (digits == text.size() || text.find_first_not_of("0123456789", digits) != std::string::npos)
                return "needs a whole number of 0 or more in decimal digits, not \"" + text + "\"";
            const std::size_t first = text.find_first_not_of('0', digits);
            text = first == std::string::npos ? std::string("0") : text.substr(first);
            return {};
        },
        "");
}

} // namespace korvo
