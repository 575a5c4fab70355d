// The renders the Linux plug-in and the Windows DLL are compared on. Both
// sides include this header, so they differ only in the library they load
// and the C runtime beneath it: same scenarios, same host, same block order.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "host/vst2_abi.h"

namespace crossrender {

using namespace vst2;

struct Scenario {
    const char* name;
    float sampleRate;
    VstInt32 blockSize;
    bool doublePrecision;
    // Normalised values for the six parameters; negative: leave the default.
    std::array<float, 6> parameters;
    // The stretch of the input rendered; 0 frames: all of it from the offset.
    std::size_t offsetFrames = 0, frames = 0;
};

// Defaults in both precisions; a driven setting that works the slope limiter,
// the resonance and the cartridge column; a hot one at 96 kHz that clips.
// Settings off the round values, so that gains and filter designs are not
// exact powers of two and the runtimes' pow, sin and cos really are exercised.
inline const std::vector<Scenario>& scenarios() {
    static const std::vector<Scenario> list = {
        {"defaults-44k1-float", 44100.0f, 512, false, {-1, -1, -1, -1, -1, -1}},
        {"defaults-44k1-double", 44100.0f, 512, true, {-1, -1, -1, -1, -1, -1}},
        {"driven-48k-double", 48000.0f, 300, true, {0.6173f, 0.4129f, 0.731f, 0.587f, 0.3519f, 0.2713f}},
        {"driven-88k2-float", 88200.0f, 333, false, {0.6173f, 0.4129f, 0.731f, 0.587f, 0.3519f, 0.2713f}},
        {"hot-96k-double", 96000.0f, 1024, true, {0.9377f, 0.5411f, 0.913f, 0.8841f, 0.1234f, 0.0917f}},
    };
    return list;
}

// Many short renders at settings drawn from a fixed sequence: each setting
// gives the runtimes' functions other arguments, so some of them meet the
// arguments where the two runtimes round differently.
inline std::vector<Scenario> sweep(std::size_t inputFrames) {
    static const float rates[] = {44100.0f, 48000.0f, 88200.0f, 96000.0f};
    std::vector<Scenario> list;
    std::uint32_t state = 2024;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f;
    };
    const std::size_t frames = 16384;
    for (int k = 0; k < 96; ++k) {
        Scenario s{"sweep", rates[k % 4], 64 + 64 * (k % 7), k % 2 == 0, {}, 0, frames};
        for (float& p : s.parameters) p = next();
        s.offsetFrames = static_cast<std::size_t>(next() * static_cast<float>(inputFrames - frames));
        list.push_back(s);
    }
    return list;
}

inline std::vector<Scenario> allScenarios(std::size_t inputFrames) {
    std::vector<Scenario> list = scenarios();
    const std::vector<Scenario> more = sweep(inputFrames);
    list.insert(list.end(), more.begin(), more.end());
    return list;
}

// Planar stereo: frames of the left channel, then frames of the right.
struct Audio {
    std::size_t frames = 0;
    std::vector<double> samples;  // 2 * frames
};

inline VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

inline void* openLibrary(const std::string& path) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

inline VstPluginMainProc entryOf(void* library) {
#if defined(_WIN32)
    return reinterpret_cast<VstPluginMainProc>(
        reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), "VSTPluginMain")));
#else
    return reinterpret_cast<VstPluginMainProc>(dlsym(library, "VSTPluginMain"));
#endif
}

// One fresh instance per scenario. Float renders come back widened (exactly).
// Empty on any failure.
inline Audio render(VstPluginMainProc entry, const Scenario& scenario, const Audio& whole) {
    // The scenario's stretch of the input, as an input of its own.
    Audio input;
    const std::size_t offset = std::min(scenario.offsetFrames, whole.frames);
    input.frames = scenario.frames == 0 ? whole.frames - offset : std::min(scenario.frames, whole.frames - offset);
    for (std::size_t c = 0; c < 2; ++c) {
        const double* from = whole.samples.data() + c * whole.frames + offset;
        input.samples.insert(input.samples.end(), from, from + input.frames);
    }

    AEffect* effect = entry ? entry(&hostCallback) : nullptr;
    if (effect == nullptr) return {};
    auto dispatch = [effect](VstInt32 opcode, VstIntPtr value = 0, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, 0, value, nullptr, opt);
    };
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, scenario.sampleRate);
    dispatch(effSetBlockSize, scenario.blockSize);
    for (VstInt32 p = 0; p < 6; ++p)
        if (scenario.parameters[static_cast<std::size_t>(p)] >= 0.0f)
            effect->setParameter(effect, p, scenario.parameters[static_cast<std::size_t>(p)]);
    dispatch(effMainsChanged, 1);

    Audio output;
    output.frames = input.frames;
    output.samples.assign(input.samples.size(), 0.0);
    const std::size_t block = static_cast<std::size_t>(scenario.blockSize);
    std::vector<float> fin[2], fout[2];
    std::vector<double> din[2], dout[2];
    for (std::size_t start = 0; start < input.frames; start += block) {
        const std::size_t n = std::min(block, input.frames - start);
        for (std::size_t c = 0; c < 2; ++c) {
            const double* from = input.samples.data() + c * input.frames + start;
            fin[c].assign(from, from + n);
            din[c].assign(from, from + n);
            fout[c].assign(n, 0.0f);
            dout[c].assign(n, 0.0);
        }
        if (scenario.doublePrecision) {
            double* ins[2] = {din[0].data(), din[1].data()};
            double* outs[2] = {dout[0].data(), dout[1].data()};
            effect->processDoubleReplacing(effect, ins, outs, static_cast<VstInt32>(n));
        } else {
            float* ins[2] = {fin[0].data(), fin[1].data()};
            float* outs[2] = {fout[0].data(), fout[1].data()};
            effect->processReplacing(effect, ins, outs, static_cast<VstInt32>(n));
        }
        for (std::size_t c = 0; c < 2; ++c)
            for (std::size_t i = 0; i < n; ++i)
                output.samples[c * input.frames + start + i] =
                    scenario.doublePrecision ? dout[c][i] : static_cast<double>(fout[c][i]);
    }
    dispatch(effMainsChanged, 0);
    dispatch(effClose);
    return output;
}

// Raw files of little-endian doubles, as both sides run on x86-64.
inline bool writeDoubles(const std::string& path, const std::vector<double>& values) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(values.data(), sizeof(double), values.size(), file) == values.size();
    return std::fclose(file) == 0 && ok;
}

inline bool readDoubles(const std::string& path, std::vector<double>& values) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    values.clear();
    double buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, sizeof(double), 4096, file)) > 0) values.insert(values.end(), buffer, buffer + got);
    std::fclose(file);
    return true;
}

}  // namespace crossrender
