// What both fuzz targets share: an in-process instance of the effect, created
// through the same factory the exported entry point uses, and a byte reader.
#pragma once

#include <cstdint>
#include <cstring>

#include "effect/TPlexaEffect.h"
#include "host/PluginEntry.h"
#include "host/vst2_abi.h"

namespace fuzz {

using namespace vst2;

// A violated expectation must stop the fuzzer with a report, like a crash.
#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) __builtin_trap(); \
    } while (0)

// Time information the host hands out, when it hands any out at all.
inline VstTimeInfo gTimeInfo{};
inline bool gGiveTimeInfo = false;

inline VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion: return 2400;
        case audioMasterGetTime: return gGiveTimeInfo ? reinterpret_cast<VstIntPtr>(&gTimeInfo) : 0;
        default: return 0;
    }
}

inline AEffect* createEffect() {
    AEffect* effect = vsthost::createPluginInstance<TPlexaEffect>(&host);
    FUZZ_CHECK(effect != nullptr);
    return effect;
}

inline VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                          float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

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
