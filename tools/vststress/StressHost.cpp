#include "tools/vststress/StressHost.h"

#include <cstring>

namespace stress {

namespace {

constexpr int kOpcodes = 64;
std::atomic<long> gCalls[kOpcodes];
std::atomic<double> gSampleRate{44100.0};
std::atomic<int> gBlockSize{512};
thread_local bool tAudioThread = false;

// A transport at rest at the song's start, 120 BPM in 4/4, playing: plug-ins
// may keep the pointer until their next request, so the record is never
// written after start-up.
const vst2::VstTimeInfo kTimeInfo = [] {
    vst2::VstTimeInfo info{};
    info.sampleRate = 44100.0;
    info.tempo = 120.0;
    info.timeSigNumerator = 4;
    info.timeSigDenominator = 4;
    info.flags = vst2::kVstTransportPlaying | vst2::kVstTempoValid | vst2::kVstTimeSigValid |
                 vst2::kVstPpqPosValid | vst2::kVstBarsValid;
    return info;
}();

void copyText(void* ptr, const char* text) {
    if (ptr == nullptr) return;
    std::strncpy(static_cast<char*>(ptr), text, vst2::kVstMaxVendorStrLen - 1);
    static_cast<char*>(ptr)[vst2::kVstMaxVendorStrLen - 1] = '\0';
}

bool canDo(const void* ptr) {
    if (ptr == nullptr) return false;
    const char* what = static_cast<const char*>(ptr);
    return std::strcmp(what, "sendVstTimeInfo") == 0 || std::strcmp(what, "sendVstEvents") == 0 ||
           std::strcmp(what, "sendVstMidiEvent") == 0;
}

}  // namespace

extern "C" vst2::VstIntPtr hostCallback(vst2::AEffect*, vst2::VstInt32 opcode, vst2::VstInt32, vst2::VstIntPtr,
                                        void* ptr, float) {
    if (opcode >= 0 && opcode < kOpcodes) gCalls[opcode].fetch_add(1, std::memory_order_relaxed);
    switch (opcode) {
        case vst2::audioMasterVersion: return 2400;
        case vst2::audioMasterGetTime: return reinterpret_cast<vst2::VstIntPtr>(&kTimeInfo);
        case vst2::audioMasterWantMidi: return 1;
        case vst2::audioMasterIdle: return 1;
        case vst2::audioMasterGetSampleRate:
            return static_cast<vst2::VstIntPtr>(gSampleRate.load(std::memory_order_relaxed));
        case vst2::audioMasterGetBlockSize: return gBlockSize.load(std::memory_order_relaxed);
        case vst2::audioMasterGetCurrentProcessLevel: return tAudioThread ? 2 : 1;
        case vst2::audioMasterGetVendorString: copyText(ptr, "Tonarvo"); return 1;
        case vst2::audioMasterGetProductString: copyText(ptr, "vststress"); return 1;
        case vst2::audioMasterGetVendorVersion: return 1000;
        case vst2::audioMasterCanDo: return canDo(ptr) ? 1 : 0;
        case vst2::audioMasterUpdateDisplay: return 1;
        case vst2::audioMasterBeginEdit:
        case vst2::audioMasterEndEdit:
        case vst2::audioMasterAutomate: return 1;
        default: return 0;
    }
}

void setHostFormat(double sampleRate, int blockSize) {
    gSampleRate.store(sampleRate, std::memory_order_relaxed);
    gBlockSize.store(blockSize, std::memory_order_relaxed);
}

void markAudioThread(bool audio) { tAudioThread = audio; }

long hostCalls(vst2::VstInt32 opcode) {
    return opcode >= 0 && opcode < kOpcodes ? gCalls[opcode].load(std::memory_order_relaxed) : 0;
}

}  // namespace stress
