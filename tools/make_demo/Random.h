// A small fixed-seed generator: the demo must come out identical on every
// run and every machine, which rules out std:: distributions (their output is
// left to each standard library).
#pragma once

#include <cstdint>

namespace demo {

class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed != 0 ? seed : 1u) {}

    std::uint32_t next() {
        // xorshift32
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

    // Uniform in [-1, 1).
    double bipolar() { return static_cast<double>(next() >> 8) / 8388608.0 - 1.0; }

private:
    std::uint32_t state_;
};

}  // namespace demo
