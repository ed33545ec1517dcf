#include "instruments/sim/pty_host.h"

#include "common/clock.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace korvo {

PtyHost::PtyHost(std::unique_ptr<SimulatedDevice> device, HostFaults faults, std::uint64_t seed)
    : device_(std::move(device)), faults_(faults), rng_(seed) {}

PtyHost::~PtyHost() {
    if (slaveHold_ >= 0) ::close(slaveHold_);
    if (master_ >= 0) ::close(master_);
}

bool PtyHost::open(std::string* error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        if (error) *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ::ptsname(master_);
    if (!name) {
        if (error) *error = "no name for the pseudo-terminal";
        return false;
    }
    slavePath_ = name;
    slaveHold_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveHold_ >= 0) {
        // Raw until the program sets its own line: no echo, no line editing of the replies.
        termios t{};
        if (::tcgetattr(slaveHold_, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(slaveHold_, TCSANOW, &t);
        }
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    return true;
}

void PtyHost::queueReply(std::string reply, std::int64_t nowMs) {
    ++replies_;
    if (replies_ <= faults_.healthyReplies) {
        writes_.push_back({std::max(nowMs, writes_.empty() ? 0 : writes_.back().atMs), std::move(reply)});
        return;
    }
    // The faults count their replies from the first one they bend.
    const long n = replies_ - faults_.healthyReplies;
    if (faults_.noReply) return;
    if (faults_.dropEvery > 0 && n % faults_.dropEvery == 0) return;
    if (faults_.garbage)
        for (char& c : reply) c = char(std::uniform_int_distribution<int>(1, 255)(rng_));
    const std::int64_t at = std::max(nowMs + faults_.slowMs, writes_.empty() ? 0 : writes_.back().atMs);
    if (faults_.splitPieceBytes > 0) {
        std::int64_t t = at;
        for (std::size_t i = 0; i < reply.size(); i += std::size_t(faults_.splitPieceBytes)) {
            writes_.push_back({t, reply.substr(i, std::size_t(faults_.splitPieceBytes))});
            t += faults_.splitGapMs;
        }
    } else {
        writes_.push_back({at, std::move(reply)});
    }
    if (faults_.hangUpAfter >= 0 && n >= faults_.hangUpAfter) hungUp_ = true;
}

void PtyHost::writeDue(std::int64_t nowMs) {
    while (!writes_.empty() && writes_.front().atMs <= nowMs) {
        const std::string& b = writes_.front().bytes;
        const ssize_t n = ::write(master_, b.data(), b.size());
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return; // the line is full: later
        writes_.pop_front();
    }
}

int PtyHost::run(const std::atomic<bool>& stop) {
    SteadyClock clock;
    char buf[4096];
    while (!stop) {
        const std::int64_t now = clock.nowMs();
        for (std::string& r : device_->due(now)) queueReply(std::move(r), now);
        writeDue(now);
        if (hungUp_ && writes_.empty()) return 3;

        std::int64_t next = now + 100; // look at the stop flag now and then
        if (const std::int64_t d = device_->nextDueMs(); d >= 0) next = std::min(next, d);
        if (!writes_.empty()) next = std::min(next, writes_.front().atMs);
        pollfd p{master_, POLLIN, 0};
        const int r = ::poll(&p, 1, int(std::max<std::int64_t>(0, next - clock.nowMs())));
        if (r > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) device_->receive(std::string_view(buf, std::size_t(n)), clock.nowMs());
        } else if (r < 0 && errno != EINTR) {
            return 1;
        }
    }
    return 0;
}

} // namespace korvo
