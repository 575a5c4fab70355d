// The battery's tests, one function each (the order and names are in
// Battery.cpp), and what they share.
#pragma once

#include <memory>
#include <vector>

#include "tools/vststress/Audio.h"
#include "tools/vststress/Battery.h"

namespace stress {

void lifecycleCycles(Context& context, Report& report);
void lifecycleThreads(Context& context, Report& report);
void processFormats(Context& context, Report& report);
void processSettings(Context& context, Report& report);
void processHostSizes(Context& context, Report& report);
void stateRoundTrip(Context& context, Report& report);
void stateOwnPointer(Context& context, Report& report);
void stateFuzz(Context& context, Report& report);
void audioBadInput(Context& context, Report& report);
void timingBlocks(Context& context, Report& report);
void threadsConcurrent(Context& context, Report& report);

// A new instance made ready the way hosts do: open, sample rate, block
// size, switch-on, start of processing.
std::unique_ptr<vhost::Plugin> startInstance(const Context& context, double sampleRate, int blockSize);

// Every parameter's value.
std::vector<float> parameters(vhost::Plugin& plugin);

// A parameter text query into a generous buffer: false when the plug-in
// left it without a terminator.
bool parameterText(vhost::Plugin& plugin, vst2::VstInt32 opcode, int index);

// Runs a callable once per precision the plug-in offers, with a sample
// value of that type: f(float{}) and/or f(double{}).
template <typename F>
void forEachPrecision(const vst2::AEffect& effect, F&& f) {
    if (supports<float>(&effect)) f(float{});
    if (supports<double>(&effect)) f(double{});
}

}  // namespace stress
