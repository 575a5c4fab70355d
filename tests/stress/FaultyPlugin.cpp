// Stand-in plug-ins for the stress battery's own tests, written against the
// ABI header alone: a well-behaved stereo filter (STRESS_FAULT_NONE) and the
// same with one fault built in, each of which the battery must catch.
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "host/vst2_abi.h"

#define STRESS_FAULT(name) (STRESS_FAULT_##name)

namespace {

using namespace vst2;

constexpr int kParams = 2;  // gain, smoothing

struct Instance {
    AEffect effect{};
    std::atomic<float> params[kParams] = {0.5f, 0.5f};
    double state[2] = {};
    int blockSize = 512;
    float chunk[1 + kParams] = {};
    std::atomic<int> chunkCalls{0};
#if STRESS_FAULT(LEAK)
    char* forgotten = new char[64];
#endif
};

Instance* self(AEffect* e) { return static_cast<Instance*>(e->object); }

#if STRESS_FAULT(LOCK)
std::mutex gMutex;
#endif

VstIntPtr dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float) {
    Instance* in = self(e);
    switch (opcode) {
        case effClose:
#if STRESS_FAULT(LEAK)
            in->forgotten = nullptr;
#endif
            delete in;
            return 1;
        case effSetBlockSize: in->blockSize = static_cast<int>(value); return 0;
        case effGetParamName: std::strcpy(static_cast<char*>(ptr), index == 0 ? "Gain" : "Smooth"); return 0;
        case effGetParamDisplay:
            std::strcpy(static_cast<char*>(ptr), in->params[index & 1] < 0.5f ? "low" : "high");
            return 0;
        case effGetChunk:
#if STRESS_FAULT(HANG)
            if (++in->chunkCalls > 20)
                for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
#endif
            in->chunk[0] = 1.0f;
            for (int p = 0; p < kParams; ++p) in->chunk[1 + p] = in->params[p];
            *static_cast<void**>(ptr) = in->chunk;
            return sizeof in->chunk;
        case effSetChunk: {
            if (value != static_cast<VstIntPtr>(sizeof in->chunk)) return 0;
            float values[1 + kParams];
            std::memcpy(values, ptr, sizeof values);
            for (int p = 0; p < kParams; ++p) {
#if !STRESS_FAULT(TRUST_CHUNK)
                if (!(values[1 + p] >= 0.0f && values[1 + p] <= 1.0f)) continue;
#endif
                in->params[p] = values[1 + p];
            }
            return 1;
        }
        default: return 0;
    }
}

void setParameter(AEffect* e, VstInt32 index, float value) {
    if (index >= 0 && index < kParams && value >= 0.0f && value <= 1.0f) self(e)->params[index] = value;
}

float getParameter(AEffect* e, VstInt32 index) {
    return index >= 0 && index < kParams ? self(e)->params[index].load() : 0.0f;
}

template <typename Sample>
void filter(AEffect* e, Sample** inputs, Sample** outputs, VstInt32 frames) {
    Instance* in = self(e);
#if STRESS_FAULT(ALLOCATE)
    std::vector<double> scratch(static_cast<std::size_t>(frames > 0 ? frames : 1));
#endif
#if STRESS_FAULT(LOCK)
    std::lock_guard<std::mutex> lock(gMutex);
#endif
#if STRESS_FAULT(CRASH)
    if (frames > in->blockSize) inputs = nullptr;
#endif
#if STRESS_FAULT(SHORT_WRITE)
    if (frames > 1 && frames % 2 == 1) --frames;
#endif
    const double gain = 2.0 * in->params[0];
    const double pole = 0.2 + 0.7 * in->params[1];
    for (int c = 0; c < 2; ++c) {
        double y = in->state[c];
        for (VstInt32 i = 0; i < frames; ++i) {
            double x = inputs[c][i];
#if !STRESS_FAULT(PASS_NAN)
            if (!(std::fabs(x) <= 16.0)) x = 0.0;  // absurd input is treated as silence
#endif
            // Enough work per sample that a block's cost is measurable.
            for (int k = 0; k < 16; ++k) y = pole * y + (1.0 - pole) * x * gain;
            if (std::fabs(y) < 1e-30) y = 0.0;
            outputs[c][i] = static_cast<Sample>(std::fmax(-1.99, std::fmin(1.99, y)));
        }
        in->state[c] = y;
    }
}

void processFloat(AEffect* e, float** inputs, float** outputs, VstInt32 frames) { filter(e, inputs, outputs, frames); }
void processDouble(AEffect* e, double** inputs, double** outputs, VstInt32 frames) {
    filter(e, inputs, outputs, frames);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    auto* in = new Instance;
    AEffect& e = in->effect;
    e.magic = kEffectMagic;
    e.dispatcher = dispatcher;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.numPrograms = 1;
    e.numParams = kParams;
    e.numInputs = e.numOutputs = 2;
    e.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing | effFlagsProgramChunks;
    e.ioRatio = 1.0f;
    e.object = in;
    e.uniqueID = fourCharConstant('S', 't', 'r', 's');
    e.processReplacing = processFloat;
    e.processDoubleReplacing = processDouble;
    return &e;
}
