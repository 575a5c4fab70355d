#include "host/wrap/PluginModel.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "runtime/TPlexa.h"

namespace wrap {

namespace {

// Marks the values a save appends after the VST 2.4 chunk. Other faces' and
// VST 2.4's readers read the chunk and stop where it ends.
constexpr char kExactValuesTag[8] = {'T', 'n', 'r', 'v', 'E', 'x', 'a', 'c'};
// Changes one block can take at their own frames; beyond, at once.
constexpr std::size_t kChangeCapacity = 4096;

bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

template <typename T>
void append(std::vector<std::uint8_t>& bytes, T value) {
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&value);
    bytes.insert(bytes.end(), raw, raw + sizeof value);
}

bool sameText(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

std::string trimmed(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

}  // namespace

std::unique_ptr<PluginModel> PluginModel::create(const PluginDescription& description, HostUnits units,
                                                 double sampleRate, std::int32_t maxBlock) {
    try {
        std::unique_ptr<WrappedEffect> core = WrappedEffect::create(description.factory, sampleRate, maxBlock);
        if (!core) return nullptr;
        std::unique_ptr<PluginModel> model(new PluginModel(description, units, std::move(core)));
        if (!model->setup(sampleRate, maxBlock)) model->setup(44100.0, kDefaultBlockSize);
        return model;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

PluginModel::PluginModel(const PluginDescription& description, HostUnits units, std::unique_ptr<WrappedEffect> made)
    : description(description), units(units), core(std::move(made)) {
    sliders = core->parameters();
    for (std::uint32_t p = 0; p < sliders; ++p) {
        const WrappedEffect::ParameterInfo info = core->parameterInfo(p);
        Parameter parameter;
        parameter.id = p;
        parameter.name = info.name;
        parameter.unit = p < description.valueTextCount ? description.valueTexts[p].unit : info.label;
        parameter.minimum = info.minimum;
        parameter.maximum = info.maximum;
        parameter.defaultValue = info.defaultValue;
        table.push_back(parameter);
    }
    Parameter bypass;
    bypass.id = sliders;
    bypass.name = "Bypass";
    bypass.bypass = true;
    table.push_back(bypass);

    const std::size_t n = table.size();
    exchanged.reset(new std::atomic<double>[n]);
    hostSet.reset(new std::atomic<double>[n]);
    hostSetAt.reset(new std::atomic<std::uint64_t>[n]);
    writes.reset(new std::atomic<std::uint32_t>[n]);
    reports.reset(new Report[n * kRecentReports]);
    nextReport.reset(new std::atomic<std::uint32_t>[n]);
    for (std::size_t id = 0; id < n; ++id) {
        hostSet[id].store(0.0, std::memory_order_relaxed);
        hostSetAt[id].store(0, std::memory_order_relaxed);
        writes[id].store(0, std::memory_order_relaxed);
        nextReport[id].store(0, std::memory_order_relaxed);
    }
    blockValue.assign(n, 0.0);
    inBlock.assign(n, 0);
    sliderChanges.resize(kChangeCapacity);
    noteAllExchanged();
}

PluginModel::~PluginModel() = default;

// ---------------------------------------------------------------- lifecycle

bool PluginModel::setup(double sampleRate, std::int32_t maxBlock) {
    if (core->isActive()) return false;
    // The effect takes its rate as float, as from a VST 2.4 host.
    if (!(sampleRate > 0.0) || !std::isfinite(static_cast<float>(sampleRate))) return false;
    rate = sampleRate;
    blockLimit = maxBlock > 0 ? std::min(maxBlock, kLargestBlockSize) : kDefaultBlockSize;
    core->setSampleRate(rate);
    core->setBlockSize(blockLimit);
    resizeBuffers();
    return true;
}

void PluginModel::resizeBuffers() {
    try {
        dryFloat.assign(2 * static_cast<std::size_t>(blockLimit), 0.0f);
        dryDouble.assign(2 * static_cast<std::size_t>(blockLimit), 0.0);
    } catch (const std::bad_alloc&) {
        blockLimit = kDefaultBlockSize;
        core->setBlockSize(blockLimit);
        dryFloat.assign(2 * static_cast<std::size_t>(blockLimit), 0.0f);
        dryDouble.assign(2 * static_cast<std::size_t>(blockLimit), 0.0);
    }
}

void PluginModel::setActive(bool on) {
    if (!on) setProcessing(false);
    if (on && !core->isActive()) {
        // A fresh start, as every face's activation is: no history, no ring
        // to wait for, no switch half way.
        core->clearHistory();
        silentFrames = 0;
        bypassMix = bypassTarget.load(std::memory_order_relaxed);
        bypassJump.store(false, std::memory_order_relaxed);
    }
    core->setActive(on);
}

void PluginModel::setProcessing(bool on) {
    if (on) {
        processing.store(true, std::memory_order_relaxed);
        return;
    }
    if (!processing.exchange(false)) return;
    // No block will carry what the host set since the last one: the effect
    // takes it now, while nothing processes.
    const std::uint64_t now = blocks.load(std::memory_order_acquire);
    for (std::uint32_t id = 0; id < parameterCount(); ++id)
        if (hostSetAt[id].load(std::memory_order_relaxed) == now) {
            hostSetAt[id].store(0, std::memory_order_relaxed);
            double v = 0.0;
            if (accept(id, hostSet[id].load(std::memory_order_relaxed), v)) apply(id, v);
        }
}

void PluginModel::reset() {
    if (!core->isActive()) return;
    core->setActive(false);
    setActive(true);
}

std::string PluginModel::name() const { return core->effect().effectName; }

std::string PluginModel::vendor() const { return core->effect().vendorString; }

std::uint32_t PluginModel::tailFrames() const {
    return description.tailFrames ? description.tailFrames(rate) : 0;
}

// ---------------------------------------------------------------- parameters

double PluginModel::effectHostValue(std::uint32_t id) const {
    if (id == bypassId()) return bypassTarget.load(std::memory_order_relaxed);
    return units == HostUnits::Normalized ? core->normalized(id) : core->value(id);
}

double PluginModel::hostValue(std::uint32_t id) const {
    if (!isParameter(id)) return 0.0;
    if (hostSetAt[id].load(std::memory_order_relaxed) == blocks.load(std::memory_order_acquire))
        return hostSet[id].load(std::memory_order_relaxed);
    // A restored chunk may hold a slider past its range (the chunk rules keep
    // any finite value); a host reads values inside the range it was given.
    return inRange(id, effectHostValue(id));
}

double PluginModel::plainOf(std::uint32_t id, double v) const {
    const Parameter* p = parameter(id);
    if (p == nullptr) return 0.0;
    if (!std::isfinite(v)) return p->minimum;
    if (p->bypass) return v >= 0.5 ? 1.0 : 0.0;
    if (units == HostUnits::Normalized) return p->minimum + std::clamp(v, 0.0, 1.0) * (p->maximum - p->minimum);
    return std::clamp(v, p->minimum, p->maximum);
}

double PluginModel::hostOf(std::uint32_t id, double plain) const {
    const Parameter* p = parameter(id);
    if (p == nullptr || !std::isfinite(plain)) return 0.0;
    const double v = std::clamp(plain, p->minimum, p->maximum);
    if (units == HostUnits::Plain || p->bypass) return v;
    const double span = p->maximum - p->minimum;
    const double x = span != 0.0 ? (v - p->minimum) / span : 0.0;
    return std::isfinite(x) ? std::clamp(x, 0.0, 1.0) : 0.0;
}

double PluginModel::defaultHostValue(std::uint32_t id) const {
    const Parameter* p = parameter(id);
    if (p == nullptr) return 0.0;
    // As a VST 2.4 host reads it: through float.
    const double x = hostOf(id, p->defaultValue);
    return units == HostUnits::Normalized ? std::clamp(static_cast<double>(static_cast<float>(x)), 0.0, 1.0) : x;
}

std::string PluginModel::text(std::uint32_t id, double v, bool withUnit) const {
    const Parameter* p = parameter(id);
    if (p == nullptr || !std::isfinite(v)) return {};
    if (p->bypass) return v >= 0.5 ? "On" : "Off";
    // The value a write of v stores, named as the editor names it.
    const double plain = units == HostUnits::Normalized ? core->unitsOfNormalized(id, std::clamp(v, 0.0, 1.0))
                                                        : std::clamp(v, p->minimum, p->maximum);
    if (id >= description.valueTextCount) return core->displayTextAt(id, plain);
    const ValueText& law = description.valueTexts[id];
    double shown = law.shown(plain);
    // No "-0.00": a value that rounds to zero is zero.
    if (std::fabs(shown) < 0.5 * std::pow(10.0, -law.decimals)) shown = 0.0;
    char number[64];
    std::snprintf(number, sizeof number, law.signedValue ? "%+.*f" : "%.*f", law.decimals, shown);
    std::string out = number;
    if (withUnit && law.unit[0] != '\0') out += std::string(" ") + law.unit;
    return out;
}

bool PluginModel::parse(std::uint32_t id, const std::string& input, double& v) const {
    const Parameter* p = parameter(id);
    if (p == nullptr) return false;
    const std::string text = trimmed(input);
    if (p->bypass) {
        for (const char* on : {"on", "1", "bypassed"})
            if (sameText(text.c_str(), on)) return (v = 1.0), true;
        for (const char* off : {"off", "0"})
            if (sameText(text.c_str(), off)) return (v = 0.0), true;
        return false;
    }
    const char* begin = text.c_str();
    char* end = nullptr;
    const double number = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(number)) return false;
    while (*end == ' ') ++end;
    double plain = number;
    if (id < description.valueTextCount) {
        const ValueText& law = description.valueTexts[id];
        // What may follow is the unit the text names ("g" also as grams).
        const bool unitOk = *end == '\0' || sameText(end, law.unit) ||
                            (sameText(law.unit, "g") && (sameText(end, "gram") || sameText(end, "grams")));
        if (!unitOk) return false;
        plain = law.units(number);
    } else if (*end != '\0') {
        return false;
    }
    if (!std::isfinite(plain)) return false;
    v = hostOf(id, plain);
    return true;
}

double PluginModel::storedPlain(std::uint32_t id, double v) const {
    return units == HostUnits::Normalized ? core->unitsOfNormalized(id, v) : core->unitsOfValue(id, v);
}

double PluginModel::inRange(std::uint32_t id, double v) const {
    return units == HostUnits::Plain || table[id].bypass ? plainOf(id, v) : std::clamp(v, 0.0, 1.0);
}

bool PluginModel::accept(std::uint32_t id, double raw, double& v, bool inThisBlock) {
    // Compared as the host sent it: a value a state restored out of range
    // comes back as it went.
    if (sameBits(raw, exchanged[id].load(std::memory_order_relaxed))) return false;
    if (reportedLately(id, raw)) return false;
    exchanged[id].store(raw, std::memory_order_relaxed);
    v = inRange(id, raw);
    // What the effect holds at this point of the block: the value taken
    // last in it, else its own.
    const double holds = inThisBlock && inBlock[id] ? blockValue[id] : effectHostValue(id);
    if (static_cast<float>(v) == static_cast<float>(holds)) return false;
    if (inThisBlock) {
        inBlock[id] = 1;
        blockValue[id] = v;
    }
    return true;
}

void PluginModel::apply(std::uint32_t id, double v) {
    writes[id].fetch_add(1, std::memory_order_release);
    if (id == bypassId()) {
        // A switch the host makes fades, from where a load before it set it.
        bypassTarget.store(v >= 0.5 ? 1.0 : 0.0, std::memory_order_relaxed);
    } else if (units == HostUnits::Normalized) {
        core->setNormalized(id, v);
    } else {
        core->setValue(id, v);
    }
}

void PluginModel::setFromHost(std::uint32_t id, double v) {
    if (!isParameter(id) || !std::isfinite(v)) return;
    if (processing.load(std::memory_order_relaxed)) {
        // Shown and saved as the effect will store it when the host's block
        // brings it: on the slider's step grid.
        hostSet[id].store(id == bypassId() ? inRange(id, v) : hostOf(id, storedPlain(id, inRange(id, v))),
                          std::memory_order_relaxed);
        hostSetAt[id].store(blocks.load(std::memory_order_acquire), std::memory_order_relaxed);
        return;
    }
    hostSetAt[id].store(0, std::memory_order_relaxed);
    double taken = 0.0;
    if (accept(id, v, taken)) apply(id, taken);
}

void PluginModel::noteReported(std::uint32_t id) {
    if (!isParameter(id)) return;
    const double v = effectHostValue(id);
    exchanged[id].store(v, std::memory_order_relaxed);
    Report& r = reports[id * kRecentReports + nextReport[id].fetch_add(1, std::memory_order_relaxed) % kRecentReports];
    r.value.store(v, std::memory_order_relaxed);
    r.at.store(framesRun.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

bool PluginModel::reportedLately(std::uint32_t id, double v) const {
    const std::uint64_t now = framesRun.load(std::memory_order_relaxed);
    const auto window = static_cast<std::uint64_t>(rate);
    for (std::size_t k = 0; k < kRecentReports; ++k) {
        const Report& r = reports[id * kRecentReports + k];
        const std::uint64_t at = r.at.load(std::memory_order_acquire);
        if (at == 0 || now - (at - 1) > window) continue;
        const double reported = r.value.load(std::memory_order_relaxed);
        if (sameBits(v, reported) || static_cast<float>(v) == static_cast<float>(reported)) return true;
    }
    return false;
}

void PluginModel::noteAllExchanged() {
    for (std::uint32_t id = 0; id < parameterCount(); ++id) {
        exchanged[id].store(effectHostValue(id), std::memory_order_relaxed);
        hostSetAt[id].store(0, std::memory_order_relaxed);
        // What the editor reported before is no longer anybody's value.
        for (std::size_t k = 0; k < kRecentReports; ++k)
            reports[id * kRecentReports + k].at.store(0, std::memory_order_relaxed);
    }
}

// ---------------------------------------------------------------- audio

void PluginModel::take(const Change* changes, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        const Change& c = changes[k];
        double v = 0.0;
        if (isParameter(c.id) && std::isfinite(c.value) && accept(c.id, c.value, v)) apply(c.id, v);
    }
}

void PluginModel::takeBlock(const Change* changes, std::size_t count) {
    if (core->isActive()) countBlock();
    take(changes, count);
}

void PluginModel::countBlock() {
    // What the host set on its main thread before this block is either in
    // its changes or no longer the host's word.
    blocks.fetch_add(1, std::memory_order_acq_rel);
    processing.store(true, std::memory_order_relaxed);
}

PluginModel::BlockResult PluginModel::process(float** inputs, float** outputs, std::uint32_t frames,
                                              const Change* changes, std::size_t count) {
    return run(inputs, outputs, frames, changes, count);
}

PluginModel::BlockResult PluginModel::process(double** inputs, double** outputs, std::uint32_t frames,
                                              const Change* changes, std::size_t count) {
    return run(inputs, outputs, frames, changes, count);
}

template <typename Sample>
PluginModel::BlockResult PluginModel::run(Sample** inputs, Sample** outputs, std::uint32_t frames,
                                          const Change* changes, std::size_t count) {
    if (!core->isActive()) {
        // A host that processes an instance it has not switched on (or has
        // switched off): nothing runs, and no output of its is left as it was.
        take(changes, count);
        silence(outputs, 2, frames);
        return BlockResult{3, false};
    }
    countBlock();
    std::fill(inBlock.begin(), inBlock.end(), 0);
    // The input's trailing silence, counted on from earlier blocks; read
    // before an in-place host's output overwrites it.
    std::uint32_t quiet = frames;
    for (std::uint32_t n = frames; n-- > 0;)
        if (std::fabs(static_cast<double>(inputs[0][n])) > kSilentInput ||
            std::fabs(static_cast<double>(inputs[1][n])) > kSilentInput) {
            quiet = frames - 1 - n;
            break;
        }
    silentFrames = quiet == frames ? silentFrames + frames : quiet;

    std::size_t next = 0;
    std::uint32_t done = 0;
    for (;;) {
        // Pieces end at a bypass switch and at the announced block size (the
        // dry copies are made for it); slider changes go on to the effect,
        // which takes each at its frame.
        std::uint32_t end = std::min<std::uint32_t>(frames, done + static_cast<std::uint32_t>(blockLimit));
        std::size_t n = 0;
        for (; next < count; ++next) {
            const Change& c = changes[next];
            const std::uint32_t frame = std::min(c.frame, frames);
            if (frame >= end && end < frames) break;
            if (!isParameter(c.id) || !std::isfinite(c.value)) continue;
            double v = 0.0;
            if (c.id == bypassId()) {
                if (frame > done) {
                    end = frame;
                    break;
                }
                if (accept(c.id, c.value, v, true)) apply(c.id, v);
                continue;
            }
            if (!accept(c.id, c.value, v, true)) continue;
            writes[c.id].fetch_add(1, std::memory_order_release);
            if (n == sliderChanges.size()) {
                apply(c.id, v);  // no room: at the piece's start
                continue;
            }
            sliderChanges[n++] = ParameterChange{frame - done, c.id, v};
        }
        runSegment(inputs, outputs, done, end - done, sliderChanges.data(), n);
        // Counted again once written: an editor idle between the listing and
        // the write still sees the host's hand in it.
        for (std::size_t k = 0; k < n; ++k) writes[sliderChanges[k].parameter].fetch_add(1, std::memory_order_release);
        done = end;
        if (done >= frames && next >= count) break;
    }

    framesRun.fetch_add(frames, std::memory_order_relaxed);
    BlockResult result;
    result.tailDone = silentFrames >= tailFrames();
    for (std::uint32_t c = 0; c < 2; ++c) {
        bool zero = true;
        for (std::uint32_t n = 0; n < frames && zero; ++n) zero = outputs[c][n] == Sample(0);
        if (zero) result.silentOutputs |= std::uint64_t(1) << c;
    }
    return result;
}

template <typename Sample>
void PluginModel::runSegment(Sample** inputs, Sample** outputs, std::uint32_t offset, std::uint32_t frames,
                             const ParameterChange* changes, std::size_t count) {
    Sample* in[2] = {inputs[0] + offset, inputs[1] + offset};
    Sample* out[2] = {outputs[0] + offset, outputs[1] + offset};
    const bool normalised = units == HostUnits::Normalized;
    const double target = bypassTarget.load(std::memory_order_relaxed);
    // A loaded state says where the switch stands, as it says every value.
    if (bypassJump.load(std::memory_order_relaxed) && bypassJump.exchange(false))
        bypassMix = bypassLoaded.load(std::memory_order_relaxed);
    if (bypassMix == 0.0 && target == 0.0) {
        // The effect alone, exactly as a VST 2.4 host runs it.
        core->process(in, out, frames, changes, count, normalised);
        return;
    }
    // The dry input, before an in-place host's output overwrites it.
    Sample* dry[2];
    if constexpr (sizeof(Sample) == sizeof(float)) {
        dry[0] = dryFloat.data();
        dry[1] = dryFloat.data() + blockLimit;
    } else {
        dry[0] = dryDouble.data();
        dry[1] = dryDouble.data() + blockLimit;
    }
    // A sample that is no number is no signal: it goes through as silence.
    for (int c = 0; c < 2; ++c)
        for (std::uint32_t n = 0; n < frames; ++n) dry[c][n] = std::isfinite(in[c][n]) ? in[c][n] : Sample(0);
    // The effect runs on underneath, so switching back joins its output as
    // it is now.
    core->process(in, out, frames, changes, count, normalised);
    const double step = 1.0 / std::max(1.0, std::round(rate * kBypassFadeSeconds));
    for (std::uint32_t n = 0; n < frames; ++n) {
        bypassMix = target > bypassMix ? std::min(target, bypassMix + step) : std::max(target, bypassMix - step);
        for (int c = 0; c < 2; ++c) {
            if (bypassMix == 1.0)
                out[c][n] = dry[c][n];
            else
                out[c][n] = static_cast<Sample>(static_cast<double>(out[c][n]) * (1.0 - bypassMix) +
                                                static_cast<double>(dry[c][n]) * bypassMix);
        }
    }
}

// ---------------------------------------------------------------- state

std::vector<std::uint8_t> PluginModel::saveState() {
    // A host value set on the main thread that no block has taken is what
    // the host holds: the save holds it too, as the effect will store it.
    std::vector<double> values(parameterCount(), std::nan(""));
    bool overridden = false;
    const std::uint64_t now = blocks.load(std::memory_order_acquire);
    for (std::uint32_t id = 0; id < parameterCount(); ++id)
        if (hostSetAt[id].load(std::memory_order_relaxed) == now) {
            if (id == bypassId()) continue;
            values[id] = storedPlain(id, hostSet[id].load(std::memory_order_relaxed));
            overridden = true;
        }
    std::vector<std::uint8_t> state = core->saveChunk(overridden ? values.data() : nullptr);
    if (state.empty()) return state;
    for (std::uint32_t id = 0; id < parameterCount(); ++id) {
        double v;
        if (id == bypassId())
            v = plainOf(id, hostValue(id));
        else
            v = std::isfinite(values[id]) ? values[id] : core->value(id);
        append(state, v);
    }
    append(state, parameterCount());
    state.insert(state.end(), std::begin(kExactValuesTag), std::end(kExactValuesTag));
    return state;
}

bool PluginModel::loadState(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr) return false;
    // The exact values behind the chunk: every parameter's, or the sliders'
    // alone (as states saved before the bypass existed).
    std::size_t chunkSize = size;
    std::uint32_t stored = 0;
    const std::uint8_t* exact = nullptr;
    constexpr std::size_t kTag = sizeof kExactValuesTag;
    if (size > kTag + sizeof stored &&
        std::memcmp(data + size - kTag, kExactValuesTag, kTag) == 0) {
        std::memcpy(&stored, data + size - kTag - sizeof stored, sizeof stored);
        const std::size_t trailer = kTag + sizeof stored + static_cast<std::size_t>(stored) * sizeof(double);
        if ((stored == sliders || stored == parameterCount()) && size > trailer) {
            chunkSize = size - trailer;
            exact = data + chunkSize;
        } else {
            stored = 0;
        }
    }
    // A chunk without the effect's marker restores nothing: a host must
    // hear that as a failed load, not as a success.
    float marker = 0;
    if (chunkSize < sizeof marker) return false;
    std::memcpy(&marker, data, sizeof marker);
    if (marker != plexa::TPlexa::kStateMarker) return false;
    if (!core->restoreChunk(data, chunkSize)) return false;
    double bypass = 0.0;
    if (exact) {
        for (std::uint32_t id = 0; id < stored; ++id) {
            double v;
            std::memcpy(&v, exact + id * sizeof(double), sizeof v);
            if (id == bypassId()) {
                bypass = std::isfinite(v) && v >= 0.5 ? 1.0 : 0.0;
                continue;
            }
            // Taken where it is the value the chunk holds as a float: a
            // chunk edited apart from its values keeps the chunk's.
            if (std::isfinite(v) && std::bit_cast<std::uint32_t>(static_cast<float>(v)) ==
                                        std::bit_cast<std::uint32_t>(static_cast<float>(core->value(id))))
                core->restoreValue(id, v);
        }
    }
    bypassTarget.store(bypass, std::memory_order_relaxed);
    bypassLoaded.store(bypass, std::memory_order_relaxed);
    bypassJump.store(true, std::memory_order_release);
    noteAllExchanged();
    return true;
}

void PluginModel::loadValues(const double* plain, std::size_t count) {
    for (std::uint32_t id = 0; id < sliders && id < count; ++id)
        if (std::isfinite(plain[id])) core->restoreValue(id, plain[id]);
    noteAllExchanged();
}

}  // namespace wrap
