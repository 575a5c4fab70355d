// Stand-in plug-ins for the host's tests, written against the ABI header
// alone. One source, one kind per build (FAKE_KIND_*):
//   PROBE       stereo pass-through with chunks and both precisions; logs what
//               the host does to the file named by VSTHOST_PROBE_LOG
//   MONO_MAIN   mono, halves the signal, single precision only, exported as "main"
//   NO_ENTRY    exports no entry point
//   NULL_ENTRY  its entry point returns no effect
//   BAD_MAGIC   its entry point returns something that is not an AEffect
//   GAIN, LOWPASS, CLIPPER
//               stereo references with a known answer for analyze: a gain
//               (-24..+24 dB), a biquad low-pass of Q 1/sqrt(2) (20 Hz..20 kHz,
//               exponential) and a hard clipper (ceiling -24..0 dB), computed
//               in double whatever the precision of the call
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/vst2_abi.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace vst2;

#if defined(FAKE_KIND_PROBE) || defined(FAKE_KIND_MONO_MAIN)

struct Instance {
    AEffect effect{};
    audioMasterCallback host = nullptr;
    float params[5] = {0.5f, 0.5f, 0.0f, 0.0f, 0.0f};
    unsigned char chunk[4 + sizeof params] = {};
    std::FILE* log = nullptr;
};

Instance* self(AEffect* e) { return static_cast<Instance*>(e->object); }

void logLine(Instance* in, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logLine(Instance* in, const char* format, ...) {
    if (in->log == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(in->log, format, args);
    va_end(args);
    std::fputc('\n', in->log);
    std::fflush(in->log);
}

VstIntPtr ask(Instance* in, VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr) {
    return in->host(&in->effect, opcode, 0, value, ptr, 0.0f);
}

// Parameter displays chosen to cover what unit lookup must handle: linear,
// exponential, falling, and not a number at all.
constexpr const char* kNames[5] = {"Gain", "Gain Fine", "Cutoff", "Depth", "Mode"};
constexpr const char* kLabels[5] = {"dB", "dB", "Hz", "%", ""};

void display(float v, int index, char* out) {
    switch (index) {
        case 0: std::snprintf(out, 64, "%.1f", -60.0 + 72.0 * v); break;
        case 1: std::snprintf(out, 64, "%.2f", -1.0 + 2.0 * v); break;
        case 2: std::snprintf(out, 64, "%.1f", 20.0 * std::pow(1000.0, static_cast<double>(v))); break;
        case 3: std::snprintf(out, 64, "%.0f", 100.0 - 100.0 * v); break;
        default: std::snprintf(out, 64, "%s", v < 0.5f ? "Off" : "On"); break;
    }
}

void logTime(Instance* in, int frames) {
    const auto* t = reinterpret_cast<const VstTimeInfo*>(
        ask(in, audioMasterGetTime, kVstTempoValid | kVstPpqPosValid | kVstBarsValid | kVstTimeSigValid));
    if (t == nullptr) {
        logLine(in, "process %d notime", frames);
        return;
    }
    logLine(in, "process %d pos=%.0f rate=%.0f ppq=%.6f bar=%.6f tempo=%.3f sig=%d/%d flags=%d level=%lld", frames,
            t->samplePos, t->sampleRate, t->ppqPos, t->barStartPos, t->tempo, t->timeSigNumerator,
            t->timeSigDenominator, t->flags, static_cast<long long>(ask(in, audioMasterGetCurrentProcessLevel)));
}

VstIntPtr dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    Instance* in = self(e);
    switch (opcode) {
        case effOpen: {
            char vendor[64] = {};
            char product[64] = {};
            ask(in, audioMasterGetVendorString, 0, vendor);
            ask(in, audioMasterGetProductString, 0, product);
            char timeInfo[] = "sendVstTimeInfo";
            char other[] = "sizeWindow";
            logLine(in, "open vendor=%s product=%s version=%lld cando=%lld,%lld", vendor, product,
                    static_cast<long long>(ask(in, audioMasterGetVendorVersion)),
                    static_cast<long long>(ask(in, audioMasterCanDo, 0, timeInfo)),
                    static_cast<long long>(ask(in, audioMasterCanDo, 0, other)));
            return 0;
        }
        case effClose:
            logLine(in, "close");
            if (in->log != nullptr) std::fclose(in->log);
            delete in;
            return 1;
        case effSetSampleRate: logLine(in, "rate %.0f", static_cast<double>(opt)); return 0;
        case effSetBlockSize: logLine(in, "block %lld", static_cast<long long>(value)); return 0;
        case effMainsChanged:
            logLine(in, "mains %lld host-rate=%lld host-block=%lld midi=%lld display=%lld", static_cast<long long>(value),
                    static_cast<long long>(ask(in, audioMasterGetSampleRate)),
                    static_cast<long long>(ask(in, audioMasterGetBlockSize)),
                    static_cast<long long>(ask(in, audioMasterWantMidi, 1)),
                    static_cast<long long>(ask(in, audioMasterUpdateDisplay)));
            return 0;
        case effStartProcess: logLine(in, "start"); return 0;
        case effStopProcess: logLine(in, "stop"); return 0;
        case effGetParamName: std::strcpy(static_cast<char*>(ptr), kNames[index]); return 0;
        case effGetParamLabel: std::strcpy(static_cast<char*>(ptr), kLabels[index]); return 0;
        case effGetParamDisplay: display(in->params[index], index, static_cast<char*>(ptr)); return 0;
        case effGetEffectName: std::strcpy(static_cast<char*>(ptr), "Fake Probe"); return 1;
        case effGetVendorString: std::strcpy(static_cast<char*>(ptr), "Tonarvo Tests"); return 1;
        case effGetProductString: std::strcpy(static_cast<char*>(ptr), "Probe"); return 1;
        case effGetVendorVersion: return 7;
        case effGetVstVersion: return 2400;
        case effGetChunk:
            std::memcpy(in->chunk, "PRB1", 4);
            std::memcpy(in->chunk + 4, in->params, sizeof in->params);
            *static_cast<void**>(ptr) = in->chunk;
            logLine(in, "getchunk");
            return sizeof in->chunk;
        case effSetChunk:
            logLine(in, "setchunk %lld", static_cast<long long>(value));
            if (value == sizeof in->chunk && std::memcmp(ptr, "PRB1", 4) == 0)
                std::memcpy(in->params, static_cast<const char*>(ptr) + 4, sizeof in->params);
            return 1;
        default: return 0;
    }
}

void setParameter(AEffect* e, VstInt32 index, float value) { self(e)->params[index] = value; }
float getParameter(AEffect* e, VstInt32 index) { return self(e)->params[index]; }

template <typename Sample>
void passThrough(AEffect* e, Sample** inputs, Sample** outputs, VstInt32 frames) {
    Instance* in = self(e);
    logTime(in, frames);
#if defined(FAKE_KIND_MONO_MAIN)
    for (VstInt32 i = 0; i < frames; ++i) outputs[0][i] = inputs[0][i] * Sample(0.5);
#else
    for (int c = 0; c < 2; ++c) std::memcpy(outputs[c], inputs[c], sizeof(Sample) * static_cast<std::size_t>(frames));
#endif
}

void processFloat(AEffect* e, float** inputs, float** outputs, VstInt32 frames) { passThrough(e, inputs, outputs, frames); }
#if defined(FAKE_KIND_PROBE)
void processDouble(AEffect* e, double** inputs, double** outputs, VstInt32 frames) { passThrough(e, inputs, outputs, frames); }
#endif

AEffect* create(audioMasterCallback host) {
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    auto* in = new Instance;
    in->host = host;
    if (const char* path = std::getenv("VSTHOST_PROBE_LOG")) in->log = std::fopen(path, "a");
    AEffect& e = in->effect;
    e.magic = kEffectMagic;
    e.dispatcher = dispatcher;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.numPrograms = 1;
    e.ioRatio = 1.0f;
    e.object = in;
    e.processReplacing = processFloat;
#if defined(FAKE_KIND_MONO_MAIN)
    e.numInputs = e.numOutputs = 1;
    e.flags = effFlagsCanReplacing;
    e.uniqueID = fourCharConstant('M', 'o', 'n', 'o');
#else
    e.numInputs = e.numOutputs = 2;
    e.numParams = 5;
    e.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing | effFlagsProgramChunks;
    e.processDoubleReplacing = processDouble;
    e.uniqueID = fourCharConstant('P', 'r', 'b', '1');
#endif
    logLine(in, "created");
    return &e;
}

#endif

#if defined(FAKE_KIND_GAIN) || defined(FAKE_KIND_LOWPASS) || defined(FAKE_KIND_CLIPPER)

struct Reference {
    AEffect effect{};
#if defined(FAKE_KIND_CLIPPER)
    float value = 0.75f;  // -6 dB
#else
    float value = 0.5f;  // 0 dB; 632 Hz
#endif
    double rate = 44100.0;
    double x1[2] = {}, x2[2] = {}, y1[2] = {}, y2[2] = {};
};

Reference* reference(AEffect* e) { return static_cast<Reference*>(e->object); }

// The parameter in its unit.
#if defined(FAKE_KIND_LOWPASS)
constexpr const char* kReference[3] = {"Reference Lowpass", "Cutoff", "Hz"};
double unitValue(float v) { return 20.0 * std::pow(1000.0, static_cast<double>(v)); }
#elif defined(FAKE_KIND_GAIN)
constexpr const char* kReference[3] = {"Reference Gain", "Gain", "dB"};
double unitValue(float v) { return -24.0 + 48.0 * static_cast<double>(v); }
#else
constexpr const char* kReference[3] = {"Reference Clipper", "Ceiling", "dB"};
double unitValue(float v) { return -24.0 + 24.0 * static_cast<double>(v); }
#endif

VstIntPtr referenceDispatcher(AEffect* e, VstInt32 opcode, VstInt32, VstIntPtr value, void* ptr, float opt) {
    Reference* r = reference(e);
    switch (opcode) {
        case effClose: delete r; return 1;
        case effSetSampleRate: r->rate = static_cast<double>(opt); return 0;
        case effMainsChanged:
            if (value != 0) *r = Reference{r->effect, r->value, r->rate};
            return 0;
        case effGetParamName: std::strcpy(static_cast<char*>(ptr), kReference[1]); return 0;
        case effGetParamLabel: std::strcpy(static_cast<char*>(ptr), kReference[2]); return 0;
        case effGetParamDisplay: std::snprintf(static_cast<char*>(ptr), 64, "%.2f", unitValue(r->value)); return 0;
        case effGetEffectName: std::strcpy(static_cast<char*>(ptr), kReference[0]); return 1;
        default: return 0;
    }
}

template <typename Sample>
void referenceProcess(AEffect* e, Sample** inputs, Sample** outputs, VstInt32 frames) {
    Reference* r = reference(e);
    const double setting = unitValue(r->value);
#if defined(FAKE_KIND_LOWPASS)
    const double w0 = 2.0 * 3.141592653589793 * setting / r->rate;
    const double alpha = std::sin(w0) / std::sqrt(2.0), c = std::cos(w0), a0 = 1.0 + alpha;
    const double b0 = (1.0 - c) / 2.0 / a0, b1 = (1.0 - c) / a0, a1 = -2.0 * c / a0, a2 = (1.0 - alpha) / a0;
#else
    const double level = std::pow(10.0, setting / 20.0);
#endif
    for (int ch = 0; ch < 2; ++ch)
        for (VstInt32 i = 0; i < frames; ++i) {
            const double x = static_cast<double>(inputs[ch][i]);
#if defined(FAKE_KIND_LOWPASS)
            const double y = b0 * x + b1 * r->x1[ch] + b0 * r->x2[ch] - a1 * r->y1[ch] - a2 * r->y2[ch];
            r->x2[ch] = r->x1[ch];
            r->x1[ch] = x;
            r->y2[ch] = r->y1[ch];
            r->y1[ch] = y;
#elif defined(FAKE_KIND_GAIN)
            const double y = x * level;
#else
            const double y = std::fmax(-level, std::fmin(level, x));
#endif
            outputs[ch][i] = static_cast<Sample>(y);
        }
}

AEffect* createReference(audioMasterCallback host) {
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    auto* r = new Reference;
    AEffect& e = r->effect;
    e.magic = kEffectMagic;
    e.dispatcher = referenceDispatcher;
    e.setParameter = [](AEffect* self, VstInt32, float v) { reference(self)->value = v; };
    e.getParameter = [](AEffect* self, VstInt32) { return reference(self)->value; };
    e.processReplacing = referenceProcess<float>;
    e.processDoubleReplacing = referenceProcess<double>;
    e.numPrograms = e.numParams = 1;
    e.numInputs = e.numOutputs = 2;
    e.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
    e.ioRatio = 1.0f;
    e.object = r;
    e.uniqueID = fourCharConstant('R', 'e', 'f', '1');
    return &e;
}

#endif

}  // namespace

#if defined(FAKE_KIND_GAIN) || defined(FAKE_KIND_LOWPASS) || defined(FAKE_KIND_CLIPPER)
FAKE_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) { return createReference(host); }
#elif defined(FAKE_KIND_PROBE)
FAKE_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) { return create(host); }
#elif defined(FAKE_KIND_MONO_MAIN)
// Only the old name, to check the host falls back to it.
FAKE_EXPORT AEffect* fakeMainEntry(audioMasterCallback host) __asm__("main");
FAKE_EXPORT AEffect* fakeMainEntry(audioMasterCallback host) { return create(host); }
#elif defined(FAKE_KIND_NO_ENTRY)
FAKE_EXPORT int somethingElse() { return 42; }
#elif defined(FAKE_KIND_NULL_ENTRY)
FAKE_EXPORT AEffect* VSTPluginMain(audioMasterCallback) { return nullptr; }
#elif defined(FAKE_KIND_BAD_MAGIC)
FAKE_EXPORT AEffect* VSTPluginMain(audioMasterCallback) {
    static AEffect notAnEffect{};
    notAnEffect.magic = fourCharConstant('N', 'o', 'p', 'e');
    return &notAnEffect;
}
#endif
