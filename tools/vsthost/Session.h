// One plug-in instance driven the way every command that processes audio
// drives it: our host context answering for it, the switch-on sequence a
// real host uses, and blocks handed over with zeroed outputs while the
// transport moves on. render streams a file through one session; analyze
// makes a fresh one for every measurement, so no state carries over.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/vsthost/HostCallback.h"
#include "tools/vsthost/Options.h"
#include "tools/vsthost/PluginLoader.h"

namespace vhost {

class Session {
public:
    // Loads the plug-in named first on the command line; it is not opened yet.
    explicit Session(const Options& options);

    Plugin& plugin() { return *plugin_; }
    HostContext& host() { return host_; }

    // Throws ToolError unless the plug-in has audio inputs and outputs and,
    // with --double, double-precision processing.
    void requireAudio(const Options& options);

    // Open, sample rate, block size, the parameter settings in order (printed
    // to `report` unless it is null), switch-on, the state chunk if any, start.
    void switchOn(double sampleRate, int blockSize, const std::vector<ParameterSetting>& params,
                  const std::vector<std::uint8_t>& state, std::FILE* report);
    void switchOff();

private:
    HostContext host_;
    ActiveHost active_;
    std::unique_ptr<Plugin> plugin_;
};

// Sets one parameter as "--param" does; returns its index.
int applyParameter(Plugin& plugin, const ParameterSetting& setting);

// "-6.0 dB": the parameter's display text and label, as a host shows them.
std::string shownValue(Plugin& plugin, int index);

// Planar buffers of one block for the plug-in's inputs and outputs.
template <typename Sample>
class BlockDriver {
public:
    BlockDriver(Session& session, int blockSize);

    int blockSize() const { return blockSize_; }
    Sample* input(std::size_t channel) { return ins_[channel].data(); }
    const Sample* output(std::size_t channel) const { return outs_[channel].data(); }
    const Sample* const* outputs() const { return outPtrs_.data(); }

    // Zeroed outputs (the accumulating fallback adds into them, and a channel
    // the plug-in skips stays silent), the call, the transport moved on.
    void process(int frames);
    double busySeconds() const { return busySeconds_; }

private:
    Session& session_;
    int blockSize_;
    std::vector<std::vector<Sample>> ins_;
    std::vector<std::vector<Sample>> outs_;
    std::vector<Sample*> inPtrs_;
    std::vector<Sample*> outPtrs_;
    double busySeconds_ = 0.0;
};

}  // namespace vhost
