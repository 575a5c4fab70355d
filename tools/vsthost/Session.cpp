#include "tools/vsthost/Session.h"

#include <algorithm>
#include <chrono>

#include "tools/vsthost/Errors.h"

namespace vhost {

Session::Session(const Options& options) : active_(host_) {
    host_.verbose = options.verbose;
    host_.transport = Transport(options.transport);
    plugin_ = Plugin::load(options.positional.at(0), hostCallback);
}

void Session::requireAudio(const Options& options) {
    if (plugin_->numOutputs() < 1) throw ToolError("plug-in has no audio outputs");
    if (plugin_->numInputs() < 1) throw ToolError("plug-in has no audio inputs to feed");
    if (options.useDouble && !plugin_->hasFlag(vst2::effFlagsCanDoubleReplacing))
        throw ToolError("plug-in cannot process in double precision (no effFlagsCanDoubleReplacing)");
}

int applyParameter(Plugin& plugin, const ParameterSetting& setting) {
    const auto names = plugin.paramNames();
    const int index = resolveParameter(setting.selector, names);
    float normalised = static_cast<float>(setting.value);
    if (setting.inDisplayUnits) {
        normalised = normalisedForDisplay(
            setting.value,
            [&](float probe) {
                plugin.setParameter(index, probe);
                return plugin.paramDisplay(index);
            },
            names[static_cast<std::size_t>(index)]);
    }
    plugin.setParameter(index, normalised);
    return index;
}

std::string shownValue(Plugin& plugin, int index) {
    std::string shown = plugin.paramDisplay(index);
    const std::string label = plugin.paramLabel(index);
    if (!label.empty()) shown += " " + label;
    return shown;
}

void Session::switchOn(double sampleRate, int blockSize, const std::vector<ParameterSetting>& params,
                       const std::vector<std::uint8_t>& state, std::FILE* report) {
    host_.sampleRate = static_cast<float>(sampleRate);
    host_.blockSize = blockSize;
    host_.transport.setSampleRate(sampleRate);
    plugin_->open();
    plugin_->setSampleRate(static_cast<float>(sampleRate));
    plugin_->setBlockSize(blockSize);
    for (const ParameterSetting& setting : params) {
        const int index = applyParameter(*plugin_, setting);
        if (report != nullptr)
            std::fprintf(report, "Parameter %d \"%s\" = %.6f (%s)\n", index, plugin_->paramName(index).c_str(),
                         static_cast<double>(plugin_->getParameter(index)), plugin_->paramDisplay(index).c_str());
    }
    plugin_->setActive(true);
    if (!state.empty()) plugin_->setChunk(state);
    plugin_->startProcess();
}

void Session::switchOff() {
    plugin_->stopProcess();
    plugin_->setActive(false);
}

template <typename Sample>
BlockDriver<Sample>::BlockDriver(Session& session, int blockSize)
    : session_(session),
      blockSize_(blockSize),
      ins_(static_cast<std::size_t>(session.plugin().numInputs()), std::vector<Sample>(static_cast<std::size_t>(blockSize))),
      outs_(static_cast<std::size_t>(session.plugin().numOutputs()), std::vector<Sample>(static_cast<std::size_t>(blockSize))) {
    for (auto& channel : ins_) inPtrs_.push_back(channel.data());
    for (auto& channel : outs_) outPtrs_.push_back(channel.data());
}

template <typename Sample>
void BlockDriver<Sample>::process(int frames) {
    for (auto& channel : outs_) std::fill(channel.begin(), channel.begin() + frames, Sample{});
    Plugin& plugin = session_.plugin();
    const auto start = std::chrono::steady_clock::now();
    if constexpr (std::is_same_v<Sample, float>)
        plugin.processFloat(inPtrs_.data(), outPtrs_.data(), frames);
    else
        plugin.processDouble(inPtrs_.data(), outPtrs_.data(), frames);
    busySeconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    session_.host().transport.advance(frames);
}

template class BlockDriver<float>;
template class BlockDriver<double>;

}  // namespace vhost
