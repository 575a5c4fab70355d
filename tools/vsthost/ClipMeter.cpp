#include "tools/vsthost/ClipMeter.h"

#include <algorithm>
#include <cstdio>

namespace vhost {

ClipMeter::ClipMeter(std::size_t channels, std::int64_t holdFrames)
    : channels_(channels), hold_(std::max<std::int64_t>(holdFrames, 1)) {}

void ClipMeter::step(bool over) {
    if (over) ++framesOver_;
    // A clip during the hold does not extend it: the indicator goes dark a
    // fixed time after it lit, and only a clip after that lights it again.
    if (remaining_ == 0 && over) {
        ++lightings_;
        remaining_ = hold_;
    }
    litNow_ = remaining_ > 0;
    if (remaining_ > 0) --remaining_;
}

std::string describeOverFrames(const ClipMeter& meter) {
    const long long frames = meter.framesOver();
    if (frames == 0) return "no frame over full scale";
    return std::to_string(frames) + (frames == 1 ? " frame" : " frames") + " over full scale";
}

std::string describeIndicator(const ClipMeter& meter, double holdSeconds) {
    const long long times = meter.lightings();
    char hold[32];
    std::snprintf(hold, sizeof hold, "%g s hold", holdSeconds);
    const std::string lit = times == 0 ? std::string("never lit")
                                       : "lit " + std::to_string(times) + (times == 1 ? " time" : " times");
    return lit + " (" + hold + "), " + describeOverFrames(meter);
}

}  // namespace vhost
