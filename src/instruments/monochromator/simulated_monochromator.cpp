#include "instruments/monochromator/simulated_monochromator.h"

#include "common/number_text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace korvo {

namespace {

// Beyond this the grating has no order worth driving to; the controller refuses the target.
constexpr double kMaxWavelengthNm = 10000.0;
// Longer lines are no commands; the controller drops them instead of growing its buffer.
constexpr std::size_t kMaxLine = 256;

} // namespace

SimulatedMonochromator::SimulatedMonochromator(const SimulatedDeviceOptions& options)
    : speedNmPerS_(options.monoSpeedNmPerS > 0 ? options.monoSpeedNmPerS : 20.0),
      refuseAll_(options.hasFault("f")), statusFault_(options.hasFault("t2")),
      nulBeforeCr_(options.hasFault("nul")), crLf_(options.hasFault("lf")), stuck_(options.hasFault("stuck")),
      rng_(options.seed) {}

double SimulatedMonochromator::positionAt(std::int64_t nowMs) const {
    if (!moving_ || stuck_) return position_;
    const double travelled = speedNmPerS_ * double(nowMs - moveStartMs_) / 1000.0;
    const double distance = std::abs(target_ - position_);
    if (travelled >= distance) return target_;
    return position_ + (target_ > position_ ? travelled : -travelled);
}

void SimulatedMonochromator::receive(std::string_view bytes, std::int64_t nowMs) {
    for (char c : bytes) {
        if (c == '\r') {
            if (!line_.empty()) queue(answer(line_, nowMs), nowMs);
            line_.clear();
        } else if (c != '\n' && line_.size() < kMaxLine) {
            line_ += c;
        }
    }
}

std::string SimulatedMonochromator::answer(const std::string& command, std::int64_t nowMs) {
    // A move that has run its course is over before anything else is looked at.
    if (moving_ && nowMs >= moveEndMs_) {
        position_ = target_;
        moving_ = false;
    }
    if (refuseAll_) return "f";
    if (command == "OPN") {
        if (open_) return "f";
        open_ = true;
        return "t";
    }
    if (command == "GST") {
        if (!open_) return "t -8";
        if (statusFault_) return "t 2";
        return movingAt(nowMs) ? "t 1" : "t 0";
    }
    if (!open_) return "f";
    if (command == "CLO" || command == "STO") {
        position_ = positionAt(nowMs);
        moving_ = false;
        if (command == "CLO") open_ = false;
        return "t";
    }
    if (command == "GPO") {
        const double noise = double(std::uniform_int_distribution<int>(-2, 2)(rng_)) * 0.000001;
        return "t " + text::formatFixed(positionAt(nowMs) + noise, 6);
    }
    if (command.size() > 4 && command.compare(0, 4, "SPO ") == 0) {
        const auto target = text::parseDouble(std::string_view(command).substr(4));
        if (!target || !(*target > 0) || *target > kMaxWavelengthNm) return "f";
        position_ = positionAt(nowMs);
        target_ = *target;
        moving_ = true;
        moveStartMs_ = nowMs;
        const double travelMs = std::abs(target_ - position_) / speedNmPerS_ * 1000.0;
        moveEndMs_ = stuck_ ? std::numeric_limits<std::int64_t>::max()
                            : nowMs + std::int64_t(std::ceil(travelMs)) + kSettleMs;
        return "t";
    }
    return "f";
}

void SimulatedMonochromator::queue(std::string textValue, std::int64_t nowMs) {
    if (nulBeforeCr_) textValue += '\0';
    textValue += crLf_ ? "\r\n" : "\r";
    replies_.push_back({nowMs + kAnswerMs, std::move(textValue)});
}

std::vector<std::string> SimulatedMonochromator::due(std::int64_t nowMs) {
    std::vector<std::string> out;
    while (!replies_.empty() && replies_.front().atMs <= nowMs) {
        out.push_back(std::move(replies_.front().text));
        replies_.pop_front();
    }
    return out;
}

std::int64_t SimulatedMonochromator::nextDueMs() const {
    return replies_.empty() ? -1 : replies_.front().atMs;
}

} // namespace korvo
