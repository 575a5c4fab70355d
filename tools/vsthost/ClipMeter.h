// How often a clip indicator with a hold time would light on a stream, seen
// from outside the plug-in: a host cannot read the plug-in's own indicator,
// so it replays the same rule on the samples the plug-in produced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vhost {

class ClipMeter {
public:
    // holdFrames: how long the indicator stays lit once a clip lights it
    // (at least one frame).
    ClipMeter(std::size_t channels, std::int64_t holdFrames);

    template <typename Sample>
    void addInterleaved(const Sample* samples, std::int64_t frames) {
        for (std::int64_t f = 0; f < frames; ++f) {
            const Sample* frame = samples + f * static_cast<std::int64_t>(channels_);
            bool over = false;
            for (std::size_t c = 0; c < channels_; ++c) over = over || exceedsFullScale(frame[c]);
            step(over);
        }
    }

    // One pointer per channel, each to `frames` samples.
    template <typename Sample>
    void addPlanar(const Sample* const* channels, std::int64_t frames) {
        for (std::int64_t f = 0; f < frames; ++f) {
            bool over = false;
            for (std::size_t c = 0; c < channels_; ++c) over = over || exceedsFullScale(channels[c][f]);
            step(over);
        }
    }

    // Frames in which any channel was beyond full scale.
    std::int64_t framesOver() const { return framesOver_; }
    // Off -> on transitions of the indicator.
    std::int64_t lightings() const { return lightings_; }
    // Whether the indicator was lit during the last frame added.
    bool lit() const { return litNow_; }
    std::int64_t holdFrames() const { return hold_; }

private:
    template <typename Sample>
    static bool exceedsFullScale(Sample s) {
        // Written so NaN (no level) never counts as a clip.
        return s > Sample(1) || s < Sample(-1);
    }

    void step(bool over);

    std::size_t channels_;
    std::int64_t hold_;
    std::int64_t remaining_ = 0;  // frames of the hold still to run, from the next one on
    bool litNow_ = false;
    std::int64_t framesOver_ = 0;
    std::int64_t lightings_ = 0;
};

// "4410 frames over full scale" / "no frame over full scale"
std::string describeOverFrames(const ClipMeter& meter);
// "lit 3 times (1 s hold), 4410 frames over full scale"; holdSeconds is the
// hold in the plug-in's time, for the reader.
std::string describeIndicator(const ClipMeter& meter, double holdSeconds);

}  // namespace vhost
