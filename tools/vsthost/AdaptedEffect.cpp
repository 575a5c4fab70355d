#include "tools/vsthost/AdaptedEffect.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace vhost {

namespace {

constexpr vst2::VstIntPtr kPlugCategoryEffect = 1;
constexpr vst2::VstIntPtr kProcessPrecision64 = 1;
// VST 2.4 documents 64 bytes for these texts; hosts pass at least that.
constexpr std::size_t kTextLimit = 64;

void copyText(void* ptr, const std::string& text, std::size_t limit = kTextLimit) {
    if (ptr == nullptr) return;
    const std::size_t n = std::min(text.size(), limit - 1);
    std::memcpy(ptr, text.data(), n);
    static_cast<char*>(ptr)[n] = '\0';
}

AdaptedEffect* adapterOf(vst2::AEffect* e) {
    return e != nullptr && e->magic == vst2::kEffectMagic ? static_cast<AdaptedEffect*>(e->object) : nullptr;
}

}  // namespace

AdaptedEffect::AdaptedEffect(vst2::audioMasterCallback host) : host_(host) {
    effect_.magic = vst2::kEffectMagic;
    effect_.dispatcher = dispatchProc;
    effect_.setParameter = setParameterProc;
    effect_.getParameter = getParameterProc;
    effect_.processReplacing = processProc;
    effect_.processDoubleReplacing = processDoubleProc;
    // One program, named like the plug-in, as VST 2.4 effects without banks show it.
    effect_.numPrograms = 1;
    effect_.ioRatio = 1.0f;
    effect_.object = this;
    effect_.version = 1;
}

AdaptedEffect::~AdaptedEffect() = default;

void AdaptedEffect::setParameterCount(int count) {
    effect_.numParams = std::max(count, 0);
    pending_.reset(new Pending[static_cast<std::size_t>(effect_.numParams)]);
}

void AdaptedEffect::setChannels(int inputs, int outputs) {
    effect_.numInputs = std::max(inputs, 0);
    effect_.numOutputs = std::max(outputs, 0);
    floatIn_.assign(static_cast<std::size_t>(effect_.numInputs), nullptr);
    doubleIn_.assign(static_cast<std::size_t>(effect_.numInputs), nullptr);
    floatOut_.assign(static_cast<std::size_t>(effect_.numOutputs), nullptr);
    doubleOut_.assign(static_cast<std::size_t>(effect_.numOutputs), nullptr);
}

vst2::VstIntPtr AdaptedEffect::callHost(vst2::VstInt32 opcode, vst2::VstInt32 index, vst2::VstIntPtr value,
                                        void* ptr, float opt) {
    return host_ != nullptr ? host_(&effect_, opcode, index, value, ptr, opt) : 0;
}

const vst2::VstTimeInfo* AdaptedEffect::hostTime() {
    return reinterpret_cast<const vst2::VstTimeInfo*>(callHost(vst2::audioMasterGetTime, 0, 0));
}

void AdaptedEffect::queueValue(int index, double normalised, bool forHost) {
    if (index < 0 || index >= numParams()) return;
    Pending& slot = pending_[static_cast<std::size_t>(index)];
    slot.value.store(normalised, std::memory_order_relaxed);
    if (forHost) slot.forHost.store(true, std::memory_order_release);
    slot.forAudio.store(true, std::memory_order_release);
    if (forHost) anyForHost_.store(true, std::memory_order_release);
    anyPending_.store(true, std::memory_order_release);
}

void AdaptedEffect::syncHost() {
    if (!anyForHost_.exchange(false, std::memory_order_acq_rel)) return;
    for (int i = 0; i < numParams(); ++i) {
        Pending& slot = pending_[static_cast<std::size_t>(i)];
        if (slot.forHost.exchange(false, std::memory_order_acq_rel))
            hostValue(i, slot.value.load(std::memory_order_relaxed));
    }
}

bool AdaptedEffect::awaitAudio() {
    // A running audio thread takes pending values at the start of its next
    // block: wait for that block to end rather than contend with a thread
    // that holds the plug-in's audio side nearly all the time. When no block
    // has ended for a while there is no audio thread.
    using Clock = std::chrono::steady_clock;
    constexpr auto kQuiet = std::chrono::milliseconds(20);
    std::uint64_t seen = blocksDone_.load(std::memory_order_acquire);
    auto quietSince = Clock::now();
    bool taken = false;
    std::uint64_t takenBy = 0;
    for (;;) {
        if (!onForAudio_.load(std::memory_order_acquire)) return false;
        if (!taken && !anyPending_.load(std::memory_order_acquire)) {
            taken = true;
            takenBy = blocksDone_.load(std::memory_order_acquire);
        }
        const std::uint64_t done = blocksDone_.load(std::memory_order_acquire);
        if (taken && done > takenBy) return true;
        if (done != seen) {
            seen = done;
            quietSince = Clock::now();
        } else if (Clock::now() - quietSince > kQuiet) {
            return taken;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

void AdaptedEffect::settlePending() {
    if (!on_ || !anyPending_.load(std::memory_order_acquire)) return;
    if (!awaitAudio()) withAudioSide([&] { flushPending(); });
}

void AdaptedEffect::setOn(bool on) {
    if (on == on_) return;
    if (on) {
        switchOn(true);
        on_ = true;
        onForAudio_.store(true, std::memory_order_release);
    } else {
        // Values set but never processed reach the plug-in before it stops.
        settlePending();
        withAudioSide([&] { onForAudio_.store(false, std::memory_order_relaxed); });
        switchOn(false);
        on_ = false;
    }
}

vst2::VstIntPtr AdaptedEffect::dispatchProc(vst2::AEffect* e, vst2::VstInt32 opcode, vst2::VstInt32 index,
                                            vst2::VstIntPtr value, void* ptr, float opt) {
    AdaptedEffect* self = adapterOf(e);
    if (self == nullptr) return 0;
    if (opcode == vst2::effClose) {
        // Nothing else may call in while a host closes an instance.
        {
            std::lock_guard<std::recursive_mutex> lock(self->hostLock_);
            if (self->on_) self->setOn(false);
        }
        delete self;
        return 1;
    }
    std::lock_guard<std::recursive_mutex> lock(self->hostLock_);
    self->syncHost();
    const vst2::VstIntPtr result = self->dispatch(opcode, index, value, ptr, opt);
    self->afterHostCall();
    return result;
}

vst2::VstIntPtr AdaptedEffect::dispatch(vst2::VstInt32 opcode, vst2::VstInt32 index, vst2::VstIntPtr value,
                                        void* ptr, float opt) {
    const bool validIndex = index >= 0 && index < numParams();
    switch (opcode) {
        case vst2::effOpen:
            return 0;
        case vst2::effSetSampleRate:
        case vst2::effSetBlockSize: {
            const bool isRate = opcode == vst2::effSetSampleRate;
            // Absurd values are refused rather than passed on: the formats
            // leave a plug-in free to trust them.
            if (isRate ? !(opt >= 1.0f && opt <= 10.0e6f) : (value < 1 || value > (1 << 20))) return 0;
            const bool wasOn = on_;
            if (wasOn) setOn(false);  // both formats take these only while switched off
            if (isRate) sampleRate_ = static_cast<double>(opt);
            else maxBlock_ = static_cast<int>(value);
            if (wasOn) setOn(true);
            return 0;
        }
        case vst2::effMainsChanged:
            setOn(value != 0);
            return 0;
        case vst2::effStartProcess:
        case vst2::effStopProcess:
            return 0;
        case vst2::effSetProcessPrecision:
            doublePrecision_ = value == kProcessPrecision64;
            return 1;
        case vst2::effGetProgram:
            return 0;
        case vst2::effGetProgramName:
            copyText(ptr, name_);
            return 1;
        case vst2::effGetProgramNameIndexed:
            if (index != 0) return 0;
            copyText(ptr, name_);
            return 1;
        case vst2::effGetEffectName:
            copyText(ptr, name_, 32);
            return 1;
        case vst2::effGetVendorString:
            copyText(ptr, vendor_);
            return 1;
        case vst2::effGetProductString:
            copyText(ptr, product_);
            return 1;
        case vst2::effGetVendorVersion:
            return vendorVersion_;
        case vst2::effGetVstVersion:
            return 2400;
        case vst2::effGetPlugCategory:
            return kPlugCategoryEffect;
        case vst2::effGetParamName:
            if (validIndex) copyText(ptr, parameterName(index));
            return 0;
        case vst2::effGetParamLabel:
            if (validIndex) copyText(ptr, parameterLabel(index));
            return 0;
        case vst2::effGetParamDisplay:
            if (validIndex) copyText(ptr, parameterDisplay(index));
            return 0;
        case vst2::effCanBeAutomated:
            return validIndex && automatable(index) ? 1 : 0;
        case vst2::effGetChunk: {
            if (ptr == nullptr) return 0;
            settlePending();
            chunk_.clear();
            if (!saveState(chunk_) || chunk_.empty()) {
                *static_cast<void**>(ptr) = nullptr;
                return 0;
            }
            *static_cast<void**>(ptr) = chunk_.data();
            return static_cast<vst2::VstIntPtr>(chunk_.size());
        }
        case vst2::effSetChunk: {
            if (ptr == nullptr || value <= 0) return 0;
            // Hosts hand back the very buffer effGetChunk gave them.
            const auto* bytes = static_cast<const std::uint8_t*>(ptr);
            loading_.assign(bytes, bytes + value);
            settlePending();
            return loadState(loading_.data(), loading_.size()) ? 1 : 0;
        }
        case vst2::effEditGetRect: {
            int width = 0, height = 0;
            if (ptr == nullptr || !editorSize(width, height)) return 0;
            rect_ = vst2::ERect{0, 0, static_cast<std::int16_t>(std::clamp(height, 0, 32767)),
                                static_cast<std::int16_t>(std::clamp(width, 0, 32767))};
            *static_cast<vst2::ERect**>(ptr) = &rect_;
            return 1;
        }
        case vst2::effEditOpen:
            return ptr != nullptr && openEditor(ptr) ? 1 : 0;
        case vst2::effEditClose:
            closeEditor();
            return 1;
        case vst2::effEditIdle:
            idle();
            return 1;
        case vst2::effGetTailSize:
            return tailSamples();
        default:
            return 0;
    }
}

void AdaptedEffect::setParameterProc(vst2::AEffect* e, vst2::VstInt32 index, float value) {
    AdaptedEffect* self = adapterOf(e);
    if (self == nullptr || index < 0 || index >= self->numParams() || !std::isfinite(value)) return;
    // Lock-free: automation calls this on the audio thread.
    self->queueValue(index, std::clamp(static_cast<double>(value), 0.0, 1.0), true);
}

float AdaptedEffect::getParameterProc(vst2::AEffect* e, vst2::VstInt32 index) {
    AdaptedEffect* self = adapterOf(e);
    if (self == nullptr || index < 0 || index >= self->numParams()) return 0.0f;
    // Waited for outside the lock: the editor and the presets go on meanwhile.
    if (self->readsAfterTaking() && self->hasPending(index)) self->awaitAudio();
    std::lock_guard<std::recursive_mutex> lock(self->hostLock_);
    self->syncHost();
    const double value = self->pluginValue(index);
    return std::isfinite(value) ? static_cast<float>(std::clamp(value, 0.0, 1.0)) : 0.0f;
}

void AdaptedEffect::processProc(vst2::AEffect* e, float** inputs, float** outputs, vst2::VstInt32 frames) {
    if (AdaptedEffect* self = adapterOf(e)) self->process(inputs, outputs, frames);
}

void AdaptedEffect::processDoubleProc(vst2::AEffect* e, double** inputs, double** outputs, vst2::VstInt32 frames) {
    if (AdaptedEffect* self = adapterOf(e)) self->process(inputs, outputs, frames);
}

template <typename Sample>
void AdaptedEffect::process(Sample** inputs, Sample** outputs, int frames) {
    if (frames <= 0 || outputs == nullptr) return;
    while (audioBusy_.test_and_set(std::memory_order_acquire)) {
        // Only a host-thread flush holds it, for the length of one call.
    }
    if (!onForAudio_.load(std::memory_order_acquire)) {
        // Switched off: nothing may reach the plug-in, and the host reads silence.
        for (int c = 0; c < effect_.numOutputs; ++c)
            if (outputs[c] != nullptr) std::fill(outputs[c], outputs[c] + frames, Sample{});
        audioBusy_.clear(std::memory_order_release);
        return;
    }
    if (frames <= maxBlock_) {
        processBlock(inputs, outputs, frames);
    } else {
        // Both formats promise the plug-in no more than the announced block
        // size; a VST 2.4 host may pass more, so it goes in pieces.
        std::vector<Sample*>& in = [this]() -> std::vector<Sample*>& {
            if constexpr (std::is_same_v<Sample, float>) return floatIn_;
            else return doubleIn_;
        }();
        std::vector<Sample*>& out = [this]() -> std::vector<Sample*>& {
            if constexpr (std::is_same_v<Sample, float>) return floatOut_;
            else return doubleOut_;
        }();
        for (int done = 0; done < frames; done += maxBlock_) {
            const int n = std::min(maxBlock_, frames - done);
            for (std::size_t c = 0; c < in.size(); ++c)
                in[c] = inputs != nullptr && inputs[c] != nullptr ? inputs[c] + done : nullptr;
            for (std::size_t c = 0; c < out.size(); ++c) out[c] = outputs[c] != nullptr ? outputs[c] + done : nullptr;
            processBlock(inputs != nullptr ? in.data() : nullptr, out.data(), n);
        }
    }
    blocksDone_.fetch_add(1, std::memory_order_release);
    audioBusy_.clear(std::memory_order_release);
}

template void AdaptedEffect::process(float**, float**, int);
template void AdaptedEffect::process(double**, double**, int);

std::int32_t versionNumber(const char* text) {
    std::int32_t number = 0, weight = 1000;
    const char* p = text != nullptr ? text : "";
    for (int part = 0; part < 4 && *p != '\0'; ++part) {
        char* end = nullptr;
        const long value = std::strtol(p, &end, 10);
        if (end == p) break;
        number += static_cast<std::int32_t>(std::clamp(value, 0L, 9L)) * weight;
        weight /= 10;
        p = *end == '.' ? end + 1 : end;
    }
    return number;
}

}  // namespace vhost
