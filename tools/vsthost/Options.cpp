#include "tools/vsthost/Options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <cstdlib>

#include "tools/vsthost/Errors.h"

namespace vhost {

namespace {

constexpr int kMaxBlockSize = 1 << 20;

std::size_t expectedPositionals(Command command) {
    switch (command) {
        case Command::Info:
            return 1;
        case Command::Render:
            return 3;
        case Command::Analyze:
            return 1;
        case Command::StateSave:
        case Command::StateLoad:
            return 2;
        case Command::Help:
            break;
    }
    return 0;
}

const char* commandSynopsis(Command command) {
    switch (command) {
        case Command::Info:
            return "vsthost info PLUGIN";
        case Command::Render:
            return "vsthost render PLUGIN IN OUT [options]";
        case Command::Analyze:
            return "vsthost analyze PLUGIN --out DIR [options]";
        case Command::StateSave:
            return "vsthost state save PLUGIN FILE";
        case Command::StateLoad:
            return "vsthost state load PLUGIN FILE";
        case Command::Help:
            break;
    }
    return "vsthost --help";
}

bool takesValue(const std::string& name) {
    for (const char* option : {"--sample-rate", "--block-size", "--param", "--load-state", "--save-state", "--tempo",
                               "--time-sig", "--plot", "--out", "--only", "--vary", "--level", "--thd-frequency",
                               "--thd-step", "--sweep-seconds", "--min-frequency"})
        if (name == option) return true;
    return false;
}

bool isOneOf(const std::string& name, std::initializer_list<const char*> options) {
    for (const char* option : options)
        if (name == option) return true;
    return false;
}

// render and analyze drive a plug-in alike and share the options that say how.
void checkApplies(const std::string& name, Command command) {
    if (name == "--verbose" || name == "--quiet") return;
    if (isOneOf(name, {"--plot", "--save-state"})) {
        if (command != Command::Render) throw UsageError("option '" + name + "' only applies to 'render'");
    } else if (isOneOf(name, {"--out", "--only", "--vary", "--level", "--thd-frequency", "--thd-step",
                              "--sweep-seconds", "--min-frequency"})) {
        if (command != Command::Analyze) throw UsageError("option '" + name + "' only applies to 'analyze'");
    } else if (isOneOf(name, {"--sample-rate", "--block-size", "--double", "--param", "--load-state", "--tempo",
                              "--time-sig", "--playing", "--recording"})) {
        if (command != Command::Render && command != Command::Analyze)
            throw UsageError("option '" + name + "' only applies to 'render' and 'analyze'");
    }
}

double numberIn(const std::string& name, const std::string& value, double low, double high, const char* what) {
    const auto number = parseNumber(value);
    if (!number || *number < low || *number > high) {
        char range[96];
        std::snprintf(range, sizeof range, "%s, %g..%g", what, low, high);
        throw UsageError("bad " + name + " '" + value + "': expected " + range);
    }
    return *number;
}

void parseMeasurements(AnalyzeOptions& analyze, const std::string& list) {
    analyze.response = analyze.thd = analyze.step = false;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t comma = list.find(',', begin);
        const std::string name = list.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
        if (name == "response")
            analyze.response = true;
        else if (name == "thd")
            analyze.thd = true;
        else if (name == "step")
            analyze.step = true;
        else
            throw UsageError("bad --only '" + list + "': measurements are response, thd and step");
        if (comma == std::string::npos) break;
        begin = comma + 1;
    }
}

void applyOption(Options& options, const std::string& name, const std::string& value) {
    if (name == "--sample-rate") {
        const auto rate = parseNumber(value);
        if (!rate || *rate < 1.0 || *rate > 10000000.0)
            throw UsageError("bad --sample-rate '" + value + "': expected a rate in Hz, 1..10000000");
        options.sampleRate = *rate;
    } else if (name == "--block-size") {
        const auto size = parseInteger(value);
        if (!size || *size < 1 || *size > kMaxBlockSize)
            throw UsageError("bad --block-size '" + value + "': expected a whole number 1.." +
                             std::to_string(kMaxBlockSize));
        options.blockSize = static_cast<int>(*size);
    } else if (name == "--param") {
        options.params.push_back(parseParameterSetting(value));
    } else if (name == "--load-state") {
        options.loadState = value;
    } else if (name == "--save-state") {
        options.saveState = value;
    } else if (name == "--plot") {
        if (value.empty()) throw UsageError("option '--plot' needs a file name");
        options.plot = value;
    } else if (name == "--out") {
        if (value.empty()) throw UsageError("option '--out' needs a folder name");
        options.analyze.outDir = value;
    } else if (name == "--only") {
        parseMeasurements(options.analyze, value);
    } else if (name == "--vary") {
        if (!options.analyze.vary.empty()) throw UsageError("only one --vary: a picture shows one family of curves");
        options.analyze.vary = parseParameterFamily(value);
    } else if (name == "--level") {
        options.analyze.levelDbfs = numberIn(name, value, -120.0, 24.0, "a peak level in dBFS");
    } else if (name == "--thd-frequency") {
        options.analyze.thdFrequency = numberIn(name, value, 10.0, 1e6, "a frequency in Hz");
    } else if (name == "--thd-step") {
        options.analyze.thdStepDb = numberIn(name, value, 0.1, 72.0, "a step in dB");
    } else if (name == "--sweep-seconds") {
        options.analyze.sweepSeconds = numberIn(name, value, 0.5, 300.0, "a duration in seconds");
    } else if (name == "--min-frequency") {
        options.analyze.lowestFrequency = numberIn(name, value, 1.0, 1e6, "a frequency in Hz");
    } else if (name == "--tempo") {
        const auto bpm = parseNumber(value);
        if (!bpm || *bpm <= 0.0 || *bpm > 1000.0)
            throw UsageError("bad --tempo '" + value + "': expected beats per minute above 0, up to 1000");
        options.transport.tempo = *bpm;
    } else if (name == "--time-sig") {
        parseTimeSignature(value, options.transport.timeSigNumerator, options.transport.timeSigDenominator);
    } else if (name == "--double") {
        options.useDouble = true;
    } else if (name == "--playing") {
        options.transport.playing = true;
    } else if (name == "--recording") {
        options.transport.recording = true;
    } else if (name == "--verbose") {
        options.verbose = true;
    } else if (name == "--quiet") {
        options.quiet = true;
    } else {
        throw UsageError("unknown option '" + name + "' (see vsthost --help)");
    }
}

}  // namespace

std::optional<double> parseNumber(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<long long> parseInteger(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || errno == ERANGE) return std::nullopt;
    return value;
}

void parseTimeSignature(const std::string& text, int& numerator, int& denominator) {
    const auto slash = text.find('/');
    const auto bad = [&] {
        return UsageError("bad --time-sig '" + text + "': expected N/D, e.g. 3/4 or 6/8 (N 1..64, D 1..64, a power of 2)");
    };
    if (slash == std::string::npos) throw bad();
    const auto n = parseInteger(text.substr(0, slash));
    const auto d = parseInteger(text.substr(slash + 1));
    if (!n || !d || *n < 1 || *n > 64 || *d < 1 || *d > 64 || (*d & (*d - 1)) != 0) throw bad();
    numerator = static_cast<int>(*n);
    denominator = static_cast<int>(*d);
}

Options parseCommandLine(const std::vector<std::string>& args) {
    Options options;
    if (args.empty()) return options;
    std::size_t next = 1;
    const std::string& first = args[0];
    if (first == "--help" || first == "-h" || first == "help") return options;
    if (first == "info") {
        options.command = Command::Info;
    } else if (first == "render") {
        options.command = Command::Render;
    } else if (first == "analyze") {
        options.command = Command::Analyze;
    } else if (first == "state") {
        if (args.size() < 2) throw UsageError("'state' needs 'save' or 'load' (see vsthost --help)");
        if (args[1] == "save")
            options.command = Command::StateSave;
        else if (args[1] == "load")
            options.command = Command::StateLoad;
        else
            throw UsageError("unknown state action '" + args[1] + "': expected 'save' or 'load'");
        next = 2;
    } else {
        throw UsageError("unknown command '" + first + "' (see vsthost --help)");
    }

    for (std::size_t i = next; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.command = Command::Help;
            options.positional.clear();
            return options;
        }
        if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            const auto eq = arg.find('=');
            std::string name = arg.substr(0, eq);
            checkApplies(name, options.command);
            if (takesValue(name)) {
                std::string value;
                if (eq != std::string::npos) {
                    value = arg.substr(eq + 1);
                } else {
                    if (i + 1 >= args.size()) throw UsageError("option '" + name + "' needs a value");
                    value = args[++i];
                }
                applyOption(options, name, value);
            } else {
                if (eq != std::string::npos) throw UsageError("option '" + name + "' takes no value");
                applyOption(options, name, "");
            }
        } else {
            options.positional.push_back(arg);
        }
    }
    if (options.positional.size() != expectedPositionals(options.command))
        throw UsageError(std::string("wrong number of arguments; usage: ") + commandSynopsis(options.command));
    if (options.quiet && options.verbose) throw UsageError("--quiet and --verbose contradict each other");
    if (options.command == Command::Analyze && options.analyze.outDir.empty())
        throw UsageError("analyze needs --out DIR, the folder for its pictures and tables");
    return options;
}

const char* usageText() {
    return R"(vsthost - run VST 2.4, VST 3 and CLAP plug-ins from the command line

PLUGIN is a VST 2.4 library (.so, .dll), a VST 3 bundle or module (.vst3) or
a CLAP file (.clap); the last two are hosted in their own format and shown as
a VST 2.4 plug-in would be.

Usage:
  vsthost info PLUGIN
      Identity, flags, I/O, programs and parameters of the plug-in.
  vsthost render PLUGIN IN OUT [options]
      Process the audio file IN through the plug-in into OUT. The output keeps
      the input's format (32-bit float where the format allows it) unless OUT's
      extension names another (.wav .aif(f) .flac .ogg .au .caf .w64 .rf64).
      Mono input feeds both inputs of a stereo plug-in. The summary gives the
      real-time factor, peak levels, the frames beyond full scale and how
      often a clip indicator holding for 1 s would have lit on the output.
  vsthost analyze PLUGIN --out DIR [options]
      Measure the plug-in and write a CSV table and a PNG chart for each
      measurement into DIR (created if missing): response (magnitude, phase
      and group delay of the linear part, 10 Hz to Nyquist, from an
      exponential sine sweep), distortion (the sweep's 2nd to 5th harmonics
      against frequency), thd (a sine from -60 to +12 dBFS: output level,
      THD and the first harmonics) and step (the step response and the
      sweep's impulse response, first 50 ms). The same mono signal feeds
      every input; every output is measured. Each measurement of each
      setting runs in a fresh instance, driven as render drives it. dB
      figures below -200 are written as -200.
  vsthost state save PLUGIN FILE
      Write the plug-in's fresh state chunk to FILE.
  vsthost state load PLUGIN FILE
      Load the chunk from FILE and show the parameter values it sets.
  vsthost --help

Render options:
  --sample-rate HZ       rate the plug-in is told (default: the input file's)
  --block-size N         frames per processing call, 1..1048576 (default 512)
  --double               process in double precision (processDoubleReplacing)
  --param SEL=VALUE      set a parameter before processing; repeatable.
                         SEL is an index or a case-insensitive part of the name
                         matching exactly one parameter. VALUE is normalised
                         0..1, or in displayed units with a 'u' suffix (30u).
  --load-state FILE      chunk to load after switch-on (overrides --param)
  --save-state FILE      save the chunk after processing
  --plot FILE.png        also draw the input and output waveforms and their
                         spectra (log frequency, dB) into a 1400x900 PNG
  --tempo BPM            host tempo (default 120)
  --time-sig N/D         host time signature (default 4/4)
  --playing              report the transport as playing
  --recording            report the transport as recording
  --verbose              log every host call of the plug-in to stderr
  --quiet                print nothing but errors

Analyze options (and --sample-rate, default 44100, --block-size, --double,
--param, --load-state and the transport options above):
  --out DIR              folder for the tables and pictures (required)
  --only LIST            some of response,thd,step (default: all; the
                         distortion chart comes with response)
  --vary SEL=V1,V2,...   measure once per value of one parameter (up to 12)
                         and draw one curve per value, labelled as the
                         plug-in shows it; SEL and values as for --param
  --level DBFS           peak level of the sweep and the step (default -18)
  --thd-frequency HZ     the sine of the thd measurement (default 1000)
  --thd-step DB          between its levels (default 1)
  --sweep-seconds S      length of the sweep (default 10)
  --min-frequency HZ     where the response starts (default 10)

Exit status: 0 success, 1 failure, 2 bad command line.
)";
}

}  // namespace vhost
