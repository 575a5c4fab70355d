// Command-line parsing: the commands, their positional arguments and the
// render options, with every value checked before any plug-in is loaded.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/vsthost/ParameterSetting.h"
#include "tools/vsthost/TimeInfo.h"

namespace vhost {

enum class Command { Help, Info, Render, StateSave, StateLoad };

struct Options {
    Command command = Command::Help;
    std::vector<std::string> positional;  // plug-in first, then files

    std::optional<double> sampleRate;  // default: the input file's rate
    int blockSize = 512;
    bool useDouble = false;
    std::vector<ParameterSetting> params;
    std::string loadState;
    std::string saveState;
    std::string plot;  // PNG of waveforms and spectra; empty: none
    TransportSettings transport;
    bool verbose = false;
    bool quiet = false;
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
