#include "BenchCases.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <utility>

namespace tonarvobench {

using namespace vst2;

namespace {

using Key = std::pair<float, bool>;

literal::HostView hostView(float rate) {
    literal::HostView host;
    host.sampleRate = rate;
    host.blockSize = kBlock;
    host.hasTimeInfo = false;  // as the host callback below answers
    return host;
}

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

double gInputSeconds = 10.0;

}  // namespace

double inputSeconds() { return gInputSeconds; }

bool setInputSeconds(const char* text) {
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(seconds > 0 && seconds <= 3600)) return false;
    gInputSeconds = seconds;
    return true;
}

const dsptest::Stereo& input(float rate, bool silent) {
    static std::map<Key, dsptest::Stereo> cache;
    auto it = cache.find({rate, silent});
    if (it == cache.end())
        it = cache.emplace(Key{rate, silent}, dsptest::makeSignal(silent ? dsptest::Kind::Silence : dsptest::Kind::Music,
                                                                  rate, inputSeconds())).first;
    return it->second;
}

double subStepsOf(float rate, bool silent) {
    static std::map<Key, double> cache;
    if (auto it = cache.find({rate, silent}); it != cache.end()) return it->second;
    const dsptest::Stereo& s = input(rate, silent);
    const literal::HostView host = hostView(rate);
    literal::Tonearm model;
    model.resume(host);
    double total = 0;
    for (int i = 0; i < s.frames(); ++i) {
        float l, r;
        model.processFloat(&s.left[static_cast<std::size_t>(i)], &s.right[static_cast<std::size_t>(i)], &l, &r, 1,
                           host);
        const double o = model.v.oversampling;
        total += o >= 1 ? std::floor(std::fmin(o, 1e6)) : 0;
    }
    cache[{rate, silent}] = total;
    return total;
}

std::vector<PluginCase> pluginCases(const std::vector<std::string>& paths) {
    std::vector<PluginCase> cases;
    for (const std::string& path : paths) {
        const std::shared_ptr<vhost::PluginLibrary> library = vhost::PluginLibrary::open(path);
        std::string label;
        if (paths.size() > 1) {
            const std::filesystem::path file(path);
            label.append("/").append(file.stem() == "Tonarvo" && file.has_parent_path()
                                         ? file.parent_path().filename().string()
                                         : file.stem().string());
        }
        const auto add = [&](const char* kind, int rate, bool doublePrecision, bool silent) {
            std::string name(kind);
            name.append(label).append("/").append(std::to_string(rate));
            cases.push_back({name, library, static_cast<float>(rate), doublePrecision, silent});
        };
        for (int rate : {44100, 96000, 192000}) add("Plugin", rate, false, false);
        add("PluginDouble", 44100, true, false);
        add("PluginSilence", 44100, false, true);
    }
    return cases;
}

PluginRun::PluginRun(const std::shared_ptr<vhost::PluginLibrary>& library, float rate)
    : plugin_(vhost::Plugin::create(library, &hostCallback)) {
    plugin_->open();
    plugin_->setSampleRate(rate);
    plugin_->setBlockSize(kBlock);
    plugin_->setActive(true);
    plugin_->startProcess();
}

template <typename Sample>
Audio<Sample> hostBuffers(const dsptest::Stereo& in) {
    return {std::vector<Sample>(in.left.begin(), in.left.end()), std::vector<Sample>(in.right.begin(), in.right.end())};
}

template <typename Sample>
void PluginRun::process(Audio<Sample>& in, Audio<Sample>& out) {
    out.left.resize(in.left.size());
    out.right.resize(in.right.size());
    const int frames = static_cast<int>(in.left.size());
    for (int at = 0; at < frames; at += kBlock) {
        const int n = std::min(kBlock, frames - at);
        Sample* ins[2] = {in.left.data() + at, in.right.data() + at};
        Sample* outs[2] = {out.left.data() + at, out.right.data() + at};
        if constexpr (sizeof(Sample) == sizeof(float))
            plugin_->processFloat(ins, outs, n);
        else
            plugin_->processDouble(ins, outs, n);
    }
}

LiteralRun::LiteralRun(float rate) : host_(hostView(rate)) { model_.resume(host_); }

template <typename Sample>
void LiteralRun::process(const Audio<Sample>& in, Audio<Sample>& out) {
    out.left.resize(in.left.size());
    out.right.resize(in.right.size());
    const int frames = static_cast<int>(in.left.size());
    for (int at = 0; at < frames; at += kBlock) {
        const int n = std::min(kBlock, frames - at);
        if constexpr (sizeof(Sample) == sizeof(float))
            model_.processFloat(in.left.data() + at, in.right.data() + at, out.left.data() + at,
                                out.right.data() + at, n, host_);
        else
            model_.processDouble(in.left.data() + at, in.right.data() + at, out.left.data() + at,
                                 out.right.data() + at, n, host_);
    }
}

template <typename Sample>
bool matchesLiteral(const Audio<Sample>& out, float rate, bool silent) {
    static std::map<Key, Audio<Sample>> cache;
    auto it = cache.find({rate, silent});
    if (it == cache.end()) {
        it = cache.emplace(Key{rate, silent}, Audio<Sample>{}).first;
        LiteralRun(rate).process(hostBuffers<Sample>(input(rate, silent)), it->second);
    }
    const Audio<Sample>& expected = it->second;
    const auto same = [](const std::vector<Sample>& a, const std::vector<Sample>& b) {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Sample)) == 0;
    };
    return same(out.left, expected.left) && same(out.right, expected.right);
}

Floor::Floor(float rate) : rate_(rate) {
    literal::Tonearm model;
    model.resume(hostView(rate));
    const literal::Design& d = model.v.upsample;
    c3_ = d.a1 / d.a0;
    c4_ = d.a2 / d.a0;
}

double Floor::run() {
    const dsptest::Stereo& s = input(rate_, false);
    const long long frames = s.frames();
    const long long perFrame = static_cast<long long>(subStepsOf(rate_, false)) / std::max(frames, 1LL);
    double yl1 = 0, yl2 = 0, yr1 = 0, yr2 = 0;
    for (long long f = 0; f < frames; ++f) {
        const double kl = s.left[static_cast<std::size_t>(f)] * 0.1, kr = s.right[static_cast<std::size_t>(f)] * 0.1;
        for (long long k = 0; k < perFrame; ++k) {
            const double yl = (kl - c3_ * yl1) - c4_ * yl2;
            const double yr = (kr - c3_ * yr1) - c4_ * yr2;
            yl2 = yl1;
            yl1 = yl;
            yr2 = yr1;
            yr1 = yr;
        }
    }
    sink_ = yl1 + yr1;
    return static_cast<double>(perFrame * frames);
}

template Audio<float> hostBuffers(const dsptest::Stereo&);
template Audio<double> hostBuffers(const dsptest::Stereo&);
template void PluginRun::process(Audio<float>&, Audio<float>&);
template void PluginRun::process(Audio<double>&, Audio<double>&);
template void LiteralRun::process(const Audio<float>&, Audio<float>&);
template void LiteralRun::process(const Audio<double>&, Audio<double>&);
template bool matchesLiteral(const Audio<float>&, float, bool);
template bool matchesLiteral(const Audio<double>&, float, bool);

}  // namespace tonarvobench
