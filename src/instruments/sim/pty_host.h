#pragma once
// Offers a simulated instrument on a pseudo-terminal: the program opens the slave device as it would
// a serial port; the host reads what it writes, hands it to the device and writes the device's
// replies back, bent by the faults asked for (no reply, garbage, replies split over many writes, a
// dropped line, a hang-up, a slow reply), from the start or after some healthy replies.
#include "instruments/sim/simulated_device.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <random>
#include <string>

namespace korvo {

struct HostFaults {
    bool noReply = false;    // every reply is swallowed
    bool garbage = false;    // every reply is replaced by random bytes of its length
    int splitPieceBytes = 0; // > 0: replies are written in pieces of this many bytes...
    int splitGapMs = 20;     // ...with this pause between pieces
    int dropEvery = 0;       // > 0: every n-th reply is swallowed
    int hangUpAfter = -1;    // >= 0: after this many replies the host closes the line and ends
    int slowMs = 0;          // every reply is delayed by this much
    int healthyReplies = 0;  // the faults begin after this many replies went out unharmed
};

class PtyHost {
public:
    PtyHost(std::unique_ptr<SimulatedDevice> device, HostFaults faults, std::uint64_t seed);
    ~PtyHost();
    // Creates the pseudo-terminal; false with a reason.
    bool open(std::string* error);
    // The slave device the program opens ("/dev/pts/7").
    const std::string& devicePath() const { return slavePath_; }
    // Serves until `stop` is set or the hang-up fault ends it. Returns 0, or 3 after a hang-up.
    int run(const std::atomic<bool>& stop);

private:
    struct Write {
        std::int64_t atMs;
        std::string bytes;
    };
    void queueReply(std::string reply, std::int64_t nowMs);
    void writeDue(std::int64_t nowMs);

    std::unique_ptr<SimulatedDevice> device_;
    HostFaults faults_;
    std::mt19937_64 rng_;
    int master_ = -1;
    int slaveHold_ = -1; // kept open so that the line survives the program closing and reopening it
    std::string slavePath_;
    std::deque<Write> writes_;
    long replies_ = 0;
    bool hungUp_ = false;
};

} // namespace korvo
