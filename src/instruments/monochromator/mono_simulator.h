#pragma once
// The monochromator controller the link can play itself ("Simulation on" of the page): enough of the
// protocol to try the page without a beamline. It moves instantly; status queries report idle.
#include <cstdint>
#include <random>
#include <string>

namespace korvo {

class MonoSimulator {
public:
    explicit MonoSimulator(std::uint64_t seed = 1) : rng_(seed) {}

    // The reply the controller would give to `command` (without its CR).
    std::string reply(const std::string& command);

    bool open() const { return open_; }
    bool moving() const { return moving_; }
    double position() const { return position_; } // nm

private:
    bool open_ = false;
    bool moving_ = false;
    double position_ = 1.0;
    std::mt19937_64 rng_;
};

} // namespace korvo
