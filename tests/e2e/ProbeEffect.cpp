// A plug-in built on the runtime whose every hook writes to a log, so the
// tests can see which sections the runtime and adapter run, and in what order.
#include <cstdint>
#include <string>
#include <vector>

#include "host/CVeST.h"
#include "host/PluginEntry.h"
#include "runtime/TPlexa.h"

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::vector<std::string>& probeLog() {
    static std::vector<std::string> log;
    return log;
}

void record(std::string entry) { probeLog().push_back(std::move(entry)); }

class ProbeEffect : public plexa::TPlexa {
public:
    ProbeEffect() {
        effectName = "Section Probe";
        productString = "Section Probe";
        programName = "Section Probe";
        vendorString = "Tonarvo Tests";
        vendorVersion = 1;
        uniqueId = 0x50726F62;
        channelCount = 2;
        addSlider(1, nullptr, 0, 0, 10, 1, "", "", "", "Probe Coarse");
        addSlider(5, nullptr, 2, 0, 4, 0.5, "", "", "", "Probe Half Steps");
    }

    // Whether the adapter still holds its editor shows the order in which the
    // adapter takes an instance apart.
    ~ProbeEffect() override {
        if (adapter == nullptr)
            record("destructor:no adapter");
        else
            record(std::string("destructor:editor ") + (adapter->getEditor() ? "attached" : "gone"));
    }

    void onOpen() override {
        record("onOpen");
        TPlexa::onOpen();
    }
    void onClose() override { record("onClose"); }
    void onSuspend() override { record("onSuspend"); }
    void onResume() override {
        record("onResume");
        TPlexa::onResume();
    }
    void initSection() override { record("initSection"); }
    std::uint32_t initOnce() override {
        record("initOnce");
        return TPlexa::initOnce();
    }
    void sliderSection() override { record("sliderSection"); }
    void blockSection() override { record("blockSection"); }
    // A transform that tells the channels apart, so crossed or in-place
    // buffers show whether all inputs are read before any output is written.
    void sampleSection() override {
        record("sampleSection");
        sampleValues[0] = -sampleValues[0];
        sampleValues[1] = 2.0 * sampleValues[1];
    }
    void serializeSection() override {
        plexa::FileRecord& stream = stateStream();
        record(stream.mode == plexa::FileRecord::Writing   ? "serializeSection:write"
               : stream.mode == plexa::FileRecord::Reading ? "serializeSection:read"
                                                           : "serializeSection:closed");
        streamValue(stream, sliderValues[1]);
        streamValue(stream, sliderValues[5]);
        streamValue(stream, extra);
    }

    double extra = 0.5;
};

}  // namespace

PROBE_EXPORT vst2::AEffect* VSTPluginMain(vst2::audioMasterCallback hostCallback) {
    return vsthost::createPluginInstance<ProbeEffect>(hostCallback);
}

PROBE_EXPORT int probeLogSize() { return static_cast<int>(probeLog().size()); }

PROBE_EXPORT const char* probeLogEntry(int index) {
    if (index < 0 || index >= probeLogSize()) return nullptr;
    return probeLog()[static_cast<std::size_t>(index)].c_str();
}

PROBE_EXPORT void probeLogClear() { probeLog().clear(); }

// Lets the test's host callback put its own calls into the same sequence.
PROBE_EXPORT void probeLogNote(const char* entry) { record(entry ? entry : ""); }

PROBE_EXPORT unsigned probeInitCount(vst2::AEffect* effect) {
    if (effect == nullptr || effect->object == nullptr) return 0;
    auto* adapter = static_cast<CVeST*>(static_cast<AudioEffect*>(effect->object));
    return adapter->effect ? adapter->effect->initCount : 0;
}

PROBE_EXPORT double probeExtraValue(vst2::AEffect* effect) {
    if (effect == nullptr || effect->object == nullptr) return 0;
    auto* adapter = static_cast<CVeST*>(static_cast<AudioEffect*>(effect->object));
    return adapter->effect ? static_cast<ProbeEffect*>(adapter->effect)->extra : 0.0;
}
