// What both benchmark programs time, on the same input: the shipped plug-in
// library, loaded and driven through its entry point as a host does (with
// vsthost's loader); the
// literal model of the simulation; and the floor, the one dependent chain a
// sub-step cannot avoid. The Linux program times them with Google Benchmark,
// the Windows one (run under Wine) with a small harness of its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "LiteralTonearm.h"
#include "Signals.h"
#include "tools/vsthost/PluginLoader.h"

namespace tonarvobench {

constexpr int kBlock = 512;

// Seconds of input per render: 10 unless a smoke run shortens it.
double inputSeconds();
// False, changing nothing, unless the text is a positive number of seconds.
bool setInputSeconds(const char* text);

// Time per sub-step: the unit every case is reported in. Sub-steps are what
// the simulation runs per frame, counted on the literal model, which the
// plug-in matches bit for bit.
const dsptest::Stereo& input(float rate, bool silent);
double subStepsOf(float rate, bool silent);

template <typename Sample>
struct Audio {
    std::vector<Sample> left, right;
};

// The input in the precision the host streams it.
template <typename Sample>
Audio<Sample> hostBuffers(const dsptest::Stereo& in);

// What a plug-in case renders: float input at 44.1, 96 and 192 kHz, and at
// 44.1 kHz double precision and silence, for each library given. Several
// libraries are named after their folders (a/Tonarvo.so: Plugin/a/44100) or
// files (c.dll: Plugin/c/44100). Throws vhost::ToolError when one does not load.
struct PluginCase {
    std::string name;
    std::shared_ptr<vhost::PluginLibrary> library;
    float rate;
    bool doublePrecision, silent;
};
std::vector<PluginCase> pluginCases(const std::vector<std::string>& paths);

// One instance of the plug-in library, opened and switched on at
// construction, closed at destruction, so a timed loop can leave both out.
class PluginRun {
public:
    PluginRun(const std::shared_ptr<vhost::PluginLibrary>& library, float rate);

    // The whole input in host blocks of kBlock frames.
    template <typename Sample>
    void process(Audio<Sample>& in, Audio<Sample>& out);

private:
    std::unique_ptr<vhost::Plugin> plugin_;
};

class LiteralRun {
public:
    explicit LiteralRun(float rate);
    template <typename Sample>
    void process(const Audio<Sample>& in, Audio<Sample>& out);

private:
    literal::HostView host_;
    literal::Tonearm model_;
};

// The literal model's output on input(rate, silent), computed once: the
// plug-in's output must equal it bit for bit, or its timing means nothing.
template <typename Sample>
bool matchesLiteral(const Audio<Sample>& out, float rate, bool silent);

// Once the held input fills the history, a sub-step's first low-pass is
// y = (K - c3 y1) - c4 y2 on each channel: nothing can run faster. Without
// the clean-up of non-finite values after each step, as the plug-in's stylus
// kernel leaves it out too (it checks the frame's values afterwards).
class Floor {
public:
    explicit Floor(float rate);
    // As many sub-steps as the simulation runs on the music input, spread
    // evenly over its frames; returns the sub-steps run.
    double run();
    double sink() const { return sink_; }

private:
    float rate_;
    double c3_, c4_;
    double sink_ = 0;
};

}  // namespace tonarvobench
