#include "PluginHost.h"

#include <dlfcn.h>

#include <cstring>
#include <stdexcept>

#include "effect/TPlexaEffect.h"
#include "host/CVeST.h"
#include "host/PluginEntry.h"

namespace dsptest {

using namespace vst2;

literal::HostView& hostView() {
    static literal::HostView view;
    return view;
}

namespace {

VstTimeInfo gTimeInfo;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion: return 2400;
        case audioMasterGetTime: {
            const literal::HostView& h = hostView();
            if (!h.hasTimeInfo) return 0;
            gTimeInfo = VstTimeInfo{};
            gTimeInfo.sampleRate = h.sampleRate;
            gTimeInfo.tempo = h.tempo;
            gTimeInfo.ppqPos = h.ppqPosition;
            gTimeInfo.timeSigNumerator = h.timeSigNumerator;
            gTimeInfo.timeSigDenominator = h.timeSigDenominator;
            gTimeInfo.flags = kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid |
                              (h.playing ? kVstTransportPlaying : 0) | (h.recording ? kVstTransportRecording : 0);
            return reinterpret_cast<VstIntPtr>(&gTimeInfo);
        }
        default: return 0;
    }
}

VstPluginMainProc libraryEntry() {
    // Loaded once per process, as a host would keep the library.
    static void* library = dlopen(TONARVO_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) throw std::runtime_error(dlerror());
    void* entry = dlsym(library, "VSTPluginMain");
    if (entry == nullptr) throw std::runtime_error("no VSTPluginMain");
    return reinterpret_cast<VstPluginMainProc>(entry);
}

}  // namespace

std::unique_ptr<Plugin> Plugin::loadLibrary() {
    AEffect* effect = libraryEntry()(&hostCallback);
    if (effect == nullptr) throw std::runtime_error("entry point returned null");
    return std::unique_ptr<Plugin>(new Plugin(effect));
}

std::unique_ptr<Plugin> Plugin::inProcess() {
    AEffect* effect = vsthost::createPluginInstance<TPlexaEffect>(&hostCallback);
    if (effect == nullptr) throw std::runtime_error("instance not created");
    return std::unique_ptr<Plugin>(new Plugin(effect));
}

Plugin::~Plugin() { effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f); }

VstIntPtr Plugin::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr, float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void Plugin::processFloat(float* inL, float* inR, float* outL, float* outR, int frames) {
    float* in[2] = {inL, inR};
    float* out[2] = {outL, outR};
    effect_->processReplacing(effect_, in, out, frames);
}

void Plugin::processDouble(double* inL, double* inR, double* outL, double* outR, int frames) {
    double* in[2] = {inL, inR};
    double* out[2] = {outL, outR};
    effect_->processDoubleReplacing(effect_, in, out, frames);
}

void Plugin::setParameter(int index, float value) { effect_->setParameter(effect_, index, value); }

std::vector<float> Plugin::save() {
    void* data = nullptr;
    const auto bytes = dispatch(effGetChunk, 0, 0, &data);
    std::vector<float> chunk(static_cast<std::size_t>(bytes) / sizeof(float));
    if (bytes > 0) std::memcpy(chunk.data(), data, chunk.size() * sizeof(float));
    return chunk;
}

void Plugin::restore(std::vector<float> chunk) {
    dispatch(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size() * sizeof(float)), chunk.data());
}

TPlexaEffect& Plugin::object() const {
    auto* adapter = static_cast<CVeST*>(effect_->object);
    return *static_cast<TPlexaEffect*>(adapter->effect);
}

Twin::Twin(bool viaLibrary) : plugin(viaLibrary ? Plugin::loadLibrary() : Plugin::inProcess()) {}

void Twin::start(float sampleRate, int blockSize) {
    literal::HostView& h = hostView();
    h.sampleRate = sampleRate;
    h.blockSize = blockSize;
    plugin->dispatch(effOpen);
    plugin->dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    plugin->dispatch(effSetBlockSize, 0, blockSize);
    plugin->dispatch(effMainsChanged, 0, 1);
    model.open();
    model.resume(h);
}

void Twin::resume() {
    plugin->dispatch(effMainsChanged, 0, 0);
    plugin->dispatch(effMainsChanged, 0, 1);
    model.resume(hostView());
}

void Twin::setParameter(int index, float value) {
    plugin->setParameter(index, value);
    model.setParameter(index, value);
}

void Twin::restore(const std::vector<float>& chunk) {
    plugin->restore(chunk);
    model.restore(chunk, hostView());
}

bool Twin::processFloat(const float* inL, const float* inR, int frames) {
    const auto n = static_cast<std::size_t>(frames);
    std::vector<float> a(inL, inL + n), b(inR, inR + n), outL(n), outR(n), refL(n), refR(n);
    plugin->processFloat(a.data(), b.data(), outL.data(), outR.data(), frames);
    model.processFloat(inL, inR, refL.data(), refR.data(), frames, hostView());
    lastFloat[0] = outL;
    lastFloat[1] = outR;
    if (n == 0) return true;
    return std::memcmp(outL.data(), refL.data(), n * sizeof(float)) == 0 &&
           std::memcmp(outR.data(), refR.data(), n * sizeof(float)) == 0;
}

bool Twin::processDouble(const double* inL, const double* inR, int frames) {
    const auto n = static_cast<std::size_t>(frames);
    std::vector<double> a(inL, inL + n), b(inR, inR + n), outL(n), outR(n), refL(n), refR(n);
    plugin->processDouble(a.data(), b.data(), outL.data(), outR.data(), frames);
    model.processDouble(inL, inR, refL.data(), refR.data(), frames, hostView());
    lastDouble[0] = outL;
    lastDouble[1] = outR;
    if (n == 0) return true;
    return std::memcmp(outL.data(), refL.data(), n * sizeof(double)) == 0 &&
           std::memcmp(outR.data(), refR.data(), n * sizeof(double)) == 0;
}

}  // namespace dsptest
