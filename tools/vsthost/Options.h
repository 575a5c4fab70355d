// Command-line parsing: the commands, their positional arguments and the
// render options, with every value checked before any plug-in is loaded.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/vsthost/ParameterSetting.h"
#include "tools/vsthost/TimeInfo.h"

namespace vhost {

enum class Command { Help, Info, Render, Analyze, StateSave, StateLoad };

// What analyze measures, and how.
struct AnalyzeOptions {
    std::string outDir;
    bool response = true;  // the sweep: response, harmonic distortion, impulse response
    bool thd = true;
    bool step = true;
    ParameterFamily vary;         // empty: the plug-in as set, one curve
    double levelDbfs = -18.0;     // peak level of the sweep and the step
    double thdFrequency = 1000.0;
    double thdStepDb = 1.0;       // between the levels from -60 to +12 dBFS
    double sweepSeconds = 10.0;
    double lowestFrequency = 10.0;
};

struct Options {
    Command command = Command::Help;
    std::vector<std::string> positional;  // plug-in first, then files

    std::optional<double> sampleRate;  // default: the input file's rate (analyze: 44100)
    int blockSize = 512;
    bool useDouble = false;
    std::vector<ParameterSetting> params;
    std::string loadState;
    std::string saveState;
    std::string plot;  // PNG of waveforms and spectra; empty: none
    TransportSettings transport;
    bool verbose = false;
    bool quiet = false;
    AnalyzeOptions analyze;
};

// Throws UsageError with a one-line reason.
Options parseCommandLine(const std::vector<std::string>& args);

// Whole-string numbers; nullopt for anything else (empty, trailing junk,
// infinities, NaN).
std::optional<double> parseNumber(const std::string& text);
std::optional<long long> parseInteger(const std::string& text);

// "N/D" with N in 1..64 and D a power of two up to 64.
void parseTimeSignature(const std::string& text, int& numerator, int& denominator);

const char* usageText();

}  // namespace vhost
