#include "tools/vsthost/Analyze.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "tools/vsthost/Analysis.h"
#include "tools/vsthost/Chart.h"
#include "tools/vsthost/Commands.h"
#include "tools/vsthost/Errors.h"
#include "tools/vsthost/Progress.h"
#include "tools/vsthost/Session.h"

namespace vhost {

namespace {

constexpr double kDefaultSampleRate = 44100.0;
constexpr double kMaxSampleRate = 768000.0;

// One setting of the plug-in: the varied parameter's value, if any, and
// the text the plug-in shows for it.
struct Setting {
    std::optional<ParameterSetting> value;
    std::string label;
};

// What was measured at one setting, one entry per output channel.
struct Measured {
    std::vector<SweepResult> sweep;
    std::vector<ToneResult> tone;
    std::vector<std::vector<double>> step;
};

struct Progress {
    ProgressBar bar;
    std::int64_t done = 0;
};

std::vector<std::string> channelNames(int outputs) {
    if (outputs == 1) return {"mono"};
    if (outputs == 2) return {"left", "right"};
    std::vector<std::string> names;
    for (int c = 1; c <= outputs; ++c) names.push_back("out" + std::to_string(c));
    return names;
}

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The plug-in, fresh, through one test signal: the same mono signal into
// every input, one recording per output.
template <typename Sample>
std::vector<std::vector<double>> drive(Session& session, int blockSize, const std::vector<double>& signal,
                                       Progress& progress) {
    BlockDriver<Sample> driver(session, blockSize);
    const auto inputs = static_cast<std::size_t>(session.plugin().numInputs());
    const auto outputs = static_cast<std::size_t>(session.plugin().numOutputs());
    std::vector<std::vector<double>> recorded(outputs, std::vector<double>(signal.size()));
    for (std::size_t at = 0; at < signal.size();) {
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(blockSize), signal.size() - at);
        for (std::size_t c = 0; c < inputs; ++c)
            std::transform(signal.begin() + static_cast<std::ptrdiff_t>(at),
                           signal.begin() + static_cast<std::ptrdiff_t>(at + n), driver.input(c),
                           [](double v) { return static_cast<Sample>(v); });
        driver.process(static_cast<int>(n));
        for (std::size_t c = 0; c < outputs; ++c)
            std::copy_n(driver.output(c), n, recorded[c].begin() + static_cast<std::ptrdiff_t>(at));
        at += n;
        progress.done += static_cast<std::int64_t>(n);
        progress.bar.update(progress.done);
    }
    return recorded;
}

ChartPanel makePanel(std::string title, std::string note, std::string xTitle, std::string yTitle, bool logFrequency,
                     double xLow, double xHigh) {
    ChartPanel panel;
    panel.title = std::move(title);
    panel.note = std::move(note);
    panel.xTitle = std::move(xTitle);
    panel.yTitle = std::move(yTitle);
    panel.logFrequency = logFrequency;
    panel.xLow = xLow;
    panel.xHigh = xHigh;
    return panel;
}

struct Table;

class Analyzer {
public:
    Analyzer(const Options& options, std::FILE* out) : options_(options), out_(out) {}

    void run();

private:
    std::vector<std::vector<double>> record(Setting& setting, const std::vector<double>& signal, Progress& progress);
    void writeResponse(const std::vector<Measured>& results);
    void writeThd(const std::vector<Measured>& results);
    void writeStep(const std::vector<Measured>& results);

    std::string columnName(const std::string& channel, const std::string& quantity, const Setting& setting) const {
        std::string name = channel + "_" + quantity;
        if (setting.value) name += " [" + setting.label + "]";
        return name;
    }
    // One curve per setting and channel; the right channel, dashed, only
    // where the channels differ.
    std::vector<ChartCurve> curves(const std::vector<double>& x,
                                   const std::function<const std::vector<double>&(std::size_t, std::size_t)>& y,
                                   double width = 2.2, int colourOffset = 0) const;
    bool channelsAlike(const std::function<const std::vector<double>&(std::size_t, std::size_t)>& y,
                       double tolerance) const;
    // `curveName` names the first curve of a chart without a family.
    Chart chartFrame(const std::string& title, const std::string& curveName = "") const;
    void wrote(const std::string& name);
    void save(const Table& table, const std::string& name);
    // The THD and 2nd to 5th harmonic columns of one setting and channel.
    void addDistortion(Table& table, std::size_t s, std::size_t c, const std::vector<double>& thd,
                       const HarmonicColumns& harmonics) const;

    const Options& options_;
    std::FILE* out_;
    const AnalyzeOptions& analyze_ = options_.analyze;
    double rate_ = kDefaultSampleRate;
    std::vector<std::uint8_t> state_;
    std::string effectName_;
    std::string parameterName_;  // of the varied parameter
    std::string fixedSettings_;  // the --param settings as the plug-in shows them
    std::vector<std::string> channels_;
    std::vector<Setting> settings_;
    bool alike_ = true;  // of the chart being built
    std::unique_ptr<SweepMeasurement> sweep_;
    std::unique_ptr<ToneMeasurement> tone_;
    std::unique_ptr<StepMeasurement> step_;
    std::vector<std::string> written_;
    bool reported_ = false;
};

std::vector<std::vector<double>> Analyzer::record(Setting& setting, const std::vector<double>& signal,
                                                  Progress& progress) {
    Session session(options_);
    std::vector<ParameterSetting> params = options_.params;
    if (setting.value) params.push_back(*setting.value);
    // The first instance reports the settings, as render does.
    session.switchOn(rate_, options_.blockSize, params, state_, reported_ || options_.quiet ? nullptr : out_);
    Plugin& plugin = session.plugin();
    if (setting.value) {
        // A loaded state would have overridden the varied value.
        const int index = state_.empty() ? resolveParameter(setting.value->selector, plugin.paramNames())
                                         : applyParameter(plugin, *setting.value);
        setting.label = shownValue(plugin, index);
    }
    if (!reported_) {
        for (const ParameterSetting& fixed : options_.params) {
            const int index = resolveParameter(fixed.selector, plugin.paramNames());
            if (!fixedSettings_.empty()) fixedSettings_ += "; ";
            fixedSettings_ += plugin.paramName(index) + " = " + shownValue(plugin, index);
        }
        reported_ = true;
    }
    session.host().processLevel = ProcessLevel::Offline;
    auto recorded = options_.useDouble ? drive<double>(session, options_.blockSize, signal, progress)
                                       : drive<float>(session, options_.blockSize, signal, progress);
    session.host().processLevel = ProcessLevel::User;
    session.switchOff();
    plugin.close();
    return recorded;
}

void Analyzer::run() {
    rate_ = options_.sampleRate.value_or(kDefaultSampleRate);
    // Every signal is held whole, with its recordings and transforms: beyond
    // this rate they would take gigabytes.
    if (rate_ > kMaxSampleRate)
        throw ToolError(formatted("analyze works at sample rates up to %g Hz", kMaxSampleRate));
    std::error_code ec;
    if (std::filesystem::exists(analyze_.outDir, ec) && !std::filesystem::is_directory(analyze_.outDir, ec))
        throw ToolError("cannot write into '" + analyze_.outDir + "': it is not a folder");
    std::filesystem::create_directories(analyze_.outDir, ec);
    if (ec || !std::filesystem::is_directory(analyze_.outDir, ec))
        throw ToolError("cannot create the folder '" + analyze_.outDir + "': " + ec.message());
    if (!options_.loadState.empty()) state_ = readStateFile(options_.loadState);

    // The signals first: a range that makes no sense fails before any
    // plug-in runs.
    const double amplitude = std::pow(10.0, analyze_.levelDbfs / 20.0);
    if (analyze_.response)
        sweep_ = std::make_unique<SweepMeasurement>(rate_, analyze_.lowestFrequency, analyze_.sweepSeconds, amplitude);
    if (analyze_.thd) tone_ = std::make_unique<ToneMeasurement>(rate_, analyze_.thdFrequency, analyze_.thdStepDb);
    if (analyze_.step) step_ = std::make_unique<StepMeasurement>(rate_, amplitude);

    {
        Session probe(options_);
        probe.requireAudio(options_);
        Plugin& plugin = probe.plugin();
        if (!state_.empty() && !plugin.hasFlag(vst2::effFlagsProgramChunks))
            throw ToolError("plug-in does not exchange its state as a chunk (no effFlagsProgramChunks)");
        plugin.open();
        effectName_ = plugin.effectName();
        channels_ = channelNames(plugin.numOutputs());
        if (!analyze_.vary.empty())
            parameterName_ = plugin.paramName(resolveParameter(analyze_.vary.values[0].selector, plugin.paramNames()));
        plugin.close();
    }
    if (analyze_.vary.empty())
        settings_.push_back({});
    else
        for (const ParameterSetting& value : analyze_.vary.values) settings_.push_back({value, {}});

    std::int64_t perSetting = 0;
    for (const std::vector<double>* signal : {sweep_ ? &sweep_->signal() : nullptr, tone_ ? &tone_->signal() : nullptr,
                                              step_ ? &step_->signal() : nullptr})
        if (signal != nullptr) perSetting += static_cast<std::int64_t>(signal->size());
    Progress progress{
        ProgressBar(perSetting * static_cast<std::int64_t>(settings_.size()), !options_.quiet && stderrIsTerminal())};

    std::vector<Measured> results;
    for (Setting& setting : settings_) {
        Measured measured;
        if (sweep_)
            for (const auto& channel : record(setting, sweep_->signal(), progress))
                measured.sweep.push_back(sweep_->analyse(channel));
        if (tone_)
            for (const auto& channel : record(setting, tone_->signal(), progress))
                measured.tone.push_back(tone_->analyse(channel));
        if (step_)
            for (const auto& channel : record(setting, step_->signal(), progress))
                measured.step.push_back(step_->analyse(channel));
        results.push_back(std::move(measured));
    }
    progress.bar.finish();

    if (sweep_) writeResponse(results);
    if (tone_) writeThd(results);
    if (step_) writeStep(results);
    if (options_.quiet) return;
    std::fprintf(out_, "Analysed \"%s\" at %g Hz, %zu setting(s)%s%s\n", effectName_.c_str(), rate_, settings_.size(),
                 parameterName_.empty() ? "" : " of ", parameterName_.c_str());
    for (const std::string& name : written_)
        std::fprintf(out_, "Wrote %s\n", (std::filesystem::path(analyze_.outDir) / name).string().c_str());
}

// A table of columns of equal length, NaN written as an empty cell.
struct Table {
    std::vector<std::string> names;
    std::vector<std::vector<double>> columns;
    void add(std::string name, std::vector<double> values) {
        names.push_back(std::move(name));
        columns.push_back(std::move(values));
    }
    void write(const std::string& path) const {
        std::ofstream file(path, std::ios::trunc);
        if (!file) throw ToolError("cannot write '" + path + "'");
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string& name = names[i];
            // Displayed values may hold commas or quotes.
            if (name.find_first_of(",\"") != std::string::npos) {
                std::string quoted = "\"";
                for (const char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
                file << (i ? "," : "") << quoted << '"';
            } else {
                file << (i ? "," : "") << name;
            }
        }
        file << '\n';
        const std::size_t rows = columns.empty() ? 0 : columns[0].size();
        for (std::size_t r = 0; r < rows; ++r) {
            for (std::size_t i = 0; i < columns.size(); ++i) {
                if (i) file << ',';
                const double v = columns[i][r];
                if (!std::isnan(v)) file << formatted("%.10g", v);
            }
            file << '\n';
        }
        file.close();
        if (!file) throw ToolError("error writing '" + path + "'");
    }
};

void Analyzer::wrote(const std::string& name) { written_.push_back(name); }

void Analyzer::save(const Table& table, const std::string& name) {
    table.write(analyze_.outDir + "/" + name);
    wrote(name);
}

void Analyzer::addDistortion(Table& table, std::size_t s, std::size_t c, const std::vector<double>& thd,
                             const HarmonicColumns& harmonics) const {
    table.add(columnName(channels_[c], "thd_db", settings_[s]), thd);
    for (std::size_t k = 0; k < harmonics.size(); ++k)
        table.add(columnName(channels_[c], "h" + std::to_string(k + 2) + "_db", settings_[s]), harmonics[k]);
}

bool Analyzer::channelsAlike(const std::function<const std::vector<double>&(std::size_t, std::size_t)>& y,
                             double tolerance) const {
    for (std::size_t s = 0; s < settings_.size(); ++s)
        for (std::size_t c = 1; c < channels_.size(); ++c) {
            const auto& first = y(s, 0);
            const auto& other = y(s, c);
            for (std::size_t i = 0; i < first.size(); ++i) {
                if (std::isnan(first[i]) && std::isnan(other[i])) continue;
                if (!(std::abs(first[i] - other[i]) <= tolerance)) return false;
            }
        }
    return true;
}

std::vector<ChartCurve> Analyzer::curves(const std::vector<double>& x,
                                         const std::function<const std::vector<double>&(std::size_t, std::size_t)>& y,
                                         double width, int colourOffset) const {
    std::vector<ChartCurve> result;
    for (std::size_t s = 0; s < settings_.size(); ++s)
        for (std::size_t c = 0; c < (alike_ ? 1 : channels_.size()); ++c)
            result.push_back({x, y(s, c), static_cast<int>(s) + colourOffset, c > 0, width, false});
    return result;
}

Chart Analyzer::chartFrame(const std::string& title, const std::string& curveName) const {
    Chart chart;
    chart.title = "\"" + effectName_ + "\": " + title;
    chart.subtitle = formatted("%g Hz", rate_) + ", blocks of " + std::to_string(options_.blockSize) + ", " +
                     (options_.useDouble ? "double" : "single") + " precision, a fresh instance per measurement";
    if (!fixedSettings_.empty()) chart.subtitle += "; " + fixedSettings_;
    if (settings_[0].value && alike_ && channels_.size() > 1) chart.subtitle += "; all channels alike";
    if (!options_.loadState.empty())
        chart.subtitle += "; state " + std::filesystem::path(options_.loadState).filename().string();
    chart.legendTitle = parameterName_;
    for (std::size_t s = 0; s < settings_.size(); ++s)
        if (settings_[s].value) chart.legend.push_back({settings_[s].label, static_cast<int>(s), false, 2.2});
    const std::string prefix = curveName.empty() ? "" : curveName + ", ";
    if (!settings_[0].value && (alike_ || channels_.size() == 1))
        chart.legend.push_back({prefix + (channels_.size() > 1 ? "all channels alike" : channels_[0]), 0, false, 2.2});
    if (channels_.size() > 1 && !alike_) {
        const int colour = settings_[0].value ? 8 : 0;  // grey beside a family's colours
        chart.legend.push_back({prefix + channels_[0], colour, false, 2.2});
        chart.legend.push_back({prefix + channels_[1] + (channels_.size() > 2 ? " and others" : ""), colour, true, 2.2});
    }
    return chart;
}

void Analyzer::writeResponse(const std::vector<Measured>& results) {
    const auto& f = sweep_->frequencies();
    const auto& fx = sweep_->excitations();
    const double nyquist = rate_ / 2.0;
    const std::string level = formatted("%g dBFS", analyze_.levelDbfs);
    const std::string range = formatted("%g Hz", analyze_.lowestFrequency) + formatted(" to %g Hz", nyquist);
    const std::string sweepNote =
        formatted("exponential sweep of %.1f s", sweep_->sweepSeconds()) + " from an octave below " + range;
    const std::string axisTitle = formatted("Frequency (Hz), up to Nyquist at %.4g kHz", nyquist / 1000.0);

    Table table;
    table.add("frequency_hz", f);
    Table distortion;
    distortion.add("frequency_hz", fx);
    for (std::size_t s = 0; s < settings_.size(); ++s)
        for (std::size_t c = 0; c < channels_.size(); ++c) {
            const SweepResult& r = results[s].sweep[c];
            table.add(columnName(channels_[c], "magnitude_db", settings_[s]), r.magnitudeDb);
            table.add(columnName(channels_[c], "phase_deg", settings_[s]), r.phaseDeg);
            table.add(columnName(channels_[c], "group_delay_ms", settings_[s]), r.groupDelayMs);
            addDistortion(distortion, s, c, r.thdDb, r.harmonicDb);
        }
    const std::string dir = analyze_.outDir + "/";
    save(table, "response.csv");
    save(distortion, "distortion.csv");

    const auto magnitude = [&](std::size_t s, std::size_t c) -> const std::vector<double>& {
        return results[s].sweep[c].magnitudeDb;
    };
    alike_ = channelsAlike(magnitude, 0.01);
    Chart chart = chartFrame("frequency response at " + level);
    ChartPanel gain = makePanel("Magnitude", "the linear part, harmonics separated out; " + sweepNote, axisTitle,
                    "Magnitude (dB, 0 = unity gain)", true, analyze_.lowestFrequency, nyquist);
    gain.curves = curves(f, magnitude);
    fitRange(gain.curves, 10.0, 30.0, 130.0, gain.yLow, gain.yHigh);
    ChartPanel phase = makePanel("Phase", "of the linear part, wrapped to \u00b1180\u00b0", axisTitle, "Phase (degrees)",
                                 true, analyze_.lowestFrequency, nyquist);
    phase.yLow = -180.0;
    phase.yHigh = 180.0;
    phase.yStep = 45.0;
    phase.wrapsAt180 = true;
    phase.curves = curves(f, [&](std::size_t s, std::size_t c) -> const std::vector<double>& {
        return results[s].sweep[c].phaseDeg;
    });
    chart.panels = {gain, phase};
    writeChart(dir + "response.png", chart);
    wrote("response.png");

    const auto thd = [&](std::size_t s, std::size_t c) -> const std::vector<double>& {
        return results[s].sweep[c].thdDb;
    };
    alike_ = channelsAlike(thd, 0.1);
    chart = chartFrame("harmonic distortion along the sweep at " + level);
    const double top = fx.empty() ? nyquist / 2.0 : fx.back();
    ChartPanel total = makePanel("THD", "2nd to 5th harmonic, those below Nyquist, against the frequency that made them",
                     "Excitation frequency (Hz)", "THD (dB re fundamental)", true, analyze_.lowestFrequency, top);
    total.curves = curves(fx, thd);
    fitRange(total.curves, 10.0, 40.0, 160.0, total.yLow, total.yHigh);
    ChartPanel parts = makePanel("2nd and 3rd harmonic", "thin: 2nd, thick: 3rd", "Excitation frequency (Hz)",
                     "Harmonic (dB re fundamental)", true, analyze_.lowestFrequency, top);
    parts.curves = curves(fx, [&](std::size_t s, std::size_t c) -> const std::vector<double>& {
        return results[s].sweep[c].harmonicDb[0];
    }, 1.2);
    for (ChartCurve& curve : curves(fx, [&](std::size_t s, std::size_t c) -> const std::vector<double>& {
             return results[s].sweep[c].harmonicDb[1];
         }))
        parts.curves.push_back(std::move(curve));
    fitRange(parts.curves, 10.0, 40.0, 160.0, parts.yLow, parts.yHigh);
    chart.panels = {total, parts};
    writeChart(dir + "distortion.png", chart);
    wrote("distortion.png");
}

void Analyzer::writeThd(const std::vector<Measured>& results) {
    const auto& levels = tone_->levelsDbfs();
    const std::string tone = formatted("%g Hz", tone_->frequency());
    Table table;
    table.add("input_level_dbfs", levels);
    for (std::size_t s = 0; s < settings_.size(); ++s)
        for (std::size_t c = 0; c < channels_.size(); ++c) {
            const ToneResult& r = results[s].tone[c];
            table.add(columnName(channels_[c], "output_dbfs", settings_[s]), r.outputDbfs);
            addDistortion(table, s, c, r.thdDb, r.harmonicDb);
        }
    const std::string dir = analyze_.outDir + "/";
    save(table, "thd.csv");

    const auto output = [&](std::size_t s, std::size_t c) -> const std::vector<double>& {
        return results[s].tone[c].outputDbfs;
    };
    const auto thd = [&](std::size_t s, std::size_t c) -> const std::vector<double>& {
        return results[s].tone[c].thdDb;
    };
    alike_ = channelsAlike(output, 0.01) && channelsAlike(thd, 0.1);
    Chart chart = chartFrame("a " + tone + " sine from -60 to +12 dBFS", "THD");
    const std::string xTitle = "Input level (dBFS, sine peak)";
    ChartPanel level = makePanel("Output level", "of the fundamental, peak; grey: output = input", xTitle, "Output level (dBFS)",
                     false, levels.front(), levels.back());
    level.curves = curves(levels, output);
    fitRange(level.curves, 10.0, 40.0, 200.0, level.yLow, level.yHigh);
    level.curves.insert(level.curves.begin(), ChartCurve{levels, levels, 0, true, 1.0, true});
    ChartPanel distortion = makePanel("THD", "every harmonic below Nyquist, from a whole number of cycles", xTitle,
                          "THD (dB re fundamental)", false, levels.front(), levels.back());
    distortion.curves = curves(levels, thd);
    if (settings_.size() == 1) {
        // One setting leaves the colours free for its first harmonics.
        distortion.note += "; thin: the 2nd to 5th harmonic";
        for (int k = 0; k < kFirstHarmonics; ++k) {
            for (ChartCurve& curve : curves(levels, [&](std::size_t s, std::size_t c) -> const std::vector<double>& {
                     return results[s].tone[c].harmonicDb[static_cast<std::size_t>(k)];
                 }, 1.2, k + 1))
                distortion.curves.push_back(std::move(curve));
            chart.legend.push_back({std::to_string(k + 2) + (k == 0 ? "nd" : k == 1 ? "rd" : "th"), k + 1, false, 1.2});
        }
    }
    fitRange(distortion.curves, 10.0, 40.0, 180.0, distortion.yLow, distortion.yHigh);
    chart.panels = {level, distortion};
    writeChart(dir + "thd.png", chart);
    wrote("thd.png");
}

void Analyzer::writeStep(const std::vector<Measured>& results) {
    const std::vector<double> times = responseTimesMs(rate_);
    Table table;
    table.add("time_ms", times);
    for (std::size_t s = 0; s < settings_.size(); ++s)
        for (std::size_t c = 0; c < channels_.size(); ++c) {
            table.add(columnName(channels_[c], "step", settings_[s]), results[s].step[c]);
            if (sweep_) table.add(columnName(channels_[c], "impulse", settings_[s]), results[s].sweep[c].impulse);
        }
    const std::string dir = analyze_.outDir + "/";
    save(table, "step.csv");

    const auto step = [&](std::size_t s, std::size_t c) -> const std::vector<double>& { return results[s].step[c]; };
    alike_ = channelsAlike(step, 1e-4);
    const auto impulse = [&](std::size_t s, std::size_t c) -> const std::vector<double>& {
        return results[s].sweep[c].impulse;
    };
    if (sweep_) alike_ = alike_ && channelsAlike(impulse, 1e-4);
    Chart chart = chartFrame("step response at " + formatted("%g dBFS", analyze_.levelDbfs));
    const std::string xTitle = "Time (ms)";
    ChartPanel response = makePanel("Step response", "output divided by the step's height", xTitle, "Output / step height",
                        false, times.front(), times.back());
    response.curves = curves(times, step);
    fitRange(response.curves, 0.0, 0.2, 1e9, response.yLow, response.yHigh);
    chart.panels = {response};
    if (sweep_) {
        ChartPanel pulse = makePanel("Impulse response", "the linear part, from the sweep", xTitle, "Amplitude", false,
                         times.front(), times.back());
        pulse.curves = curves(times, impulse);
        fitRange(pulse.curves, 0.0, 1e-3, 1e9, pulse.yLow, pulse.yHigh);
        chart.panels.push_back(pulse);
    }
    writeChart(dir + "step.png", chart);
    wrote("step.png");
}

}  // namespace

void runAnalyze(const Options& options, std::FILE* out) { Analyzer(options, out).run(); }

}  // namespace vhost
