// Restores arbitrary bytes as saved state, then saves, checks the round trip
// and processes a short block on whatever was restored.
#include <cmath>
#include <vector>

#include "FuzzHost.h"

using namespace fuzz;

namespace {

constexpr std::size_t kStateFloats = 65;

std::vector<float> freshState() {
    std::vector<float> floats(kStateFloats, 0.0f);
    floats[0] = -1000.0f;
    floats[14] = -24.0f;
    floats[15] = -24.0f;
    floats[22] = 25.2f;
    return floats;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    AEffect* e = createEffect();
    dispatch(e, effOpen);
    dispatch(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    dispatch(e, effSetBlockSize, 0, 64);
    dispatch(e, effMainsChanged, 0, 1);

    // The fuzzer's buffer has exactly `size` bytes: any read past it is seen.
    const VstIntPtr accepted = dispatch(e, effSetChunk, 0, static_cast<VstIntPtr>(size), const_cast<std::uint8_t*>(data));
    FUZZ_CHECK(accepted == static_cast<VstIntPtr>(size));

    void* saved = nullptr;
    const VstIntPtr savedSize = dispatch(e, effGetChunk, 0, 0, &saved);
    FUZZ_CHECK(savedSize == static_cast<VstIntPtr>(kStateFloats * 4) && saved != nullptr);
    std::vector<float> out(kStateFloats);
    std::memcpy(out.data(), saved, out.size() * 4);

    // What a save after the restore must contain: the restored floats where
    // the input had them (behind a marker), the fresh values elsewhere.
    std::vector<float> expected = freshState();
    const std::size_t floatsIn = size / 4;
    float marker = 0.0f;
    if (floatsIn > 0) std::memcpy(&marker, data, 4);
    if (marker == -1000.0f)
        for (std::size_t k = 1; k < kStateFloats && k < floatsIn; ++k) std::memcpy(&expected[k], data + 4 * k, 4);
    // Non-finite slots are restored as 0, like every non-finite effect value.
    for (float& value : expected)
        if (!std::isfinite(value)) value = 0.0f;
    for (std::size_t k = 0; k < kStateFloats; ++k) FUZZ_CHECK(std::memcmp(&out[k], &expected[k], 4) == 0);

    // A short block in each precision, on whatever state was restored.
    float left[16], right[16];
    double dleft[16], dright[16];
    for (int i = 0; i < 16; ++i) {
        left[i] = static_cast<float>(i) / 16.0f - 0.5f;
        right[i] = -left[i];
        dleft[i] = left[i];
        dright[i] = right[i];
    }
    float* io[2] = {left, right};
    double* dio[2] = {dleft, dright};
    e->processReplacing(e, io, io, 16);
    e->processDoubleReplacing(e, dio, dio, 16);
    for (int i = 0; i < 16; ++i) FUZZ_CHECK(std::isfinite(left[i]) && std::isfinite(dleft[i]));
    for (VstInt32 p = 0; p < e->numParams; ++p) FUZZ_CHECK(std::isfinite(e->getParameter(e, p)));
    char text[128];
    for (VstInt32 p = 0; p < e->numParams; ++p) dispatch(e, effGetParamDisplay, p, 0, text);

    FUZZ_CHECK(dispatch(e, effClose) == 1);
    return 0;
}
