#include "instruments/monochromator/mono_simulator.h"

#include "common/number_text.h"

namespace korvo {

std::string MonoSimulator::reply(const std::string& command) {
    bool success = false;
    if (command.size() >= 5 && command.compare(0, 3, "SPO") == 0 && command[3] == ' ' && open_) {
        moving_ = true;
        const auto target = text::parseDouble(std::string_view(command).substr(4));
        if (target && *target >= 0) {
            success = true;
            position_ = *target;
        }
        moving_ = false; // the simulated move takes no time
    }
    if (command.size() == 3) {
        if (command == "OPN" && !open_) {
            success = true;
            open_ = true;
        } else if (command == "CLO" && open_) {
            success = true;
            open_ = false;
            moving_ = false;
        } else if (command == "GPO" && open_) {
            success = true;
        } else if (command == "STO" && open_) {
            success = true;
            moving_ = false;
        }
    }
    std::string answer = success ? "t" : "f";
    if (success && command.compare(0, 3, "GPO") == 0) {
        // A reading that wanders in the last digit, as the real encoder's does.
        const int r = std::uniform_int_distribution<int>(0, 100)(rng_);
        answer = "t " + text::formatPattern(position_ + (r - 50) * 0.000001, "0.000000");
    }
    if (command == "GST") answer = !open_ ? "t -8" : moving_ ? "t 1" : "t 0";
    return answer;
}

} // namespace korvo
