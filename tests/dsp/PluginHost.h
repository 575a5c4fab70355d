// A minimal VST 2.4 host for the tests: loads the plug-in (the built library
// through its exported entry point, or the same code linked in) and drives
// it, while the literal model receives the same events.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "LiteralTonearm.h"
#include "host/vst2_abi.h"

class TPlexaEffect;

namespace dsptest {

// The time information every instance reads; tests change it between blocks.
literal::HostView& hostView();

class Plugin {
public:
    // Through dlopen of the built Tonarvo library and its VSTPluginMain.
    static std::unique_ptr<Plugin> loadLibrary();
    // The same entry path linked into the test, so the effect object is reachable.
    static std::unique_ptr<Plugin> inProcess();
    ~Plugin();

    vst2::VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, vst2::VstIntPtr value = 0,
                             void* ptr = nullptr, float opt = 0.0f);
    void processFloat(float* inL, float* inR, float* outL, float* outR, int frames);
    void processDouble(double* inL, double* inR, double* outL, double* outR, int frames);
    void setParameter(int index, float value);
    std::vector<float> save();
    void restore(std::vector<float> chunk);

    vst2::AEffect* descriptor() const { return effect_; }
    // Only for in-process instances.
    TPlexaEffect& object() const;

private:
    explicit Plugin(vst2::AEffect* effect) : effect_(effect) {}
    vst2::AEffect* effect_;
};

// A plug-in instance and the literal model driven side by side.
class Twin {
public:
    explicit Twin(bool viaLibrary = true);

    // Open, set rate and block size, switch on.
    void start(float sampleRate, int blockSize = 512);
    void resume();
    void setParameter(int index, float value);
    void restore(const std::vector<float>& chunk);

    // One host call on both; returns false at the first differing bit.
    bool processFloat(const float* inL, const float* inR, int frames);
    bool processDouble(const double* inL, const double* inR, int frames);

    std::unique_ptr<Plugin> plugin;
    literal::Tonearm model;
    std::vector<float> lastFloat[2];
    std::vector<double> lastDouble[2];
};

}  // namespace dsptest
