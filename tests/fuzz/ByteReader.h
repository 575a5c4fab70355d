// What every fuzz target shares: a reader that decodes any input into a
// finite sequence of choices, and the check that stops the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// A violated expectation must stop the fuzzer with a report, like a crash.
#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) __builtin_trap(); \
    } while (0)

// Reads from the front; past the end every read gives zeros, so any input
// decodes to a finite sequence.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    std::size_t remaining() const { return empty() ? 0 : size_ - at_; }
    void bytes(void* out, std::size_t n) {
        auto* o = static_cast<std::uint8_t*>(out);
        for (std::size_t i = 0; i < n; ++i) o[i] = at_ < size_ ? data_[at_++] : 0;
    }
    template <typename T>
    T read() {
        T value{};
        bytes(&value, sizeof value);
        return value;
    }
    std::uint8_t u8() { return read<std::uint8_t>(); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace fuzz
