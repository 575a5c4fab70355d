#include "tools/vsthost/HostCallback.h"

#include <cstring>
#include <iterator>

namespace vhost {

namespace {

HostContext* activeContext = nullptr;

constexpr const char* kOpcodeNames[] = {
    "audioMasterAutomate",
    "audioMasterVersion",
    "audioMasterCurrentId",
    "audioMasterIdle",
    "audioMasterPinConnected",
    nullptr,  // 5 was never assigned
    "audioMasterWantMidi",
    "audioMasterGetTime",
    "audioMasterProcessEvents",
    "audioMasterSetTime",
    "audioMasterTempoAt",
    "audioMasterGetNumAutomatableParameters",
    "audioMasterGetParameterQuantization",
    "audioMasterIOChanged",
    "audioMasterNeedIdle",
    "audioMasterSizeWindow",
    "audioMasterGetSampleRate",
    "audioMasterGetBlockSize",
    "audioMasterGetInputLatency",
    "audioMasterGetOutputLatency",
    "audioMasterGetPreviousPlug",
    "audioMasterGetNextPlug",
    "audioMasterWillReplaceOrAccumulate",
    "audioMasterGetCurrentProcessLevel",
    "audioMasterGetAutomationState",
    "audioMasterOfflineStart",
    "audioMasterOfflineRead",
    "audioMasterOfflineWrite",
    "audioMasterOfflineGetCurrentPass",
    "audioMasterOfflineGetCurrentMetaPass",
    "audioMasterSetOutputSampleRate",
    "audioMasterGetOutputSpeakerArrangement",
    "audioMasterGetVendorString",
    "audioMasterGetProductString",
    "audioMasterGetVendorVersion",
    "audioMasterVendorSpecific",
    "audioMasterSetIcon",
    "audioMasterCanDo",
    "audioMasterGetLanguage",
    "audioMasterOpenWindow",
    "audioMasterCloseWindow",
    "audioMasterGetDirectory",
    "audioMasterUpdateDisplay",
    "audioMasterBeginEdit",
    "audioMasterEndEdit",
    "audioMasterOpenFileSelector",
    "audioMasterCloseFileSelector",
    "audioMasterEditFile",
    "audioMasterGetChunkFile",
    "audioMasterGetInputSpeakerArrangement",
};

// Host strings go into plug-in buffers documented as 64 bytes.
void copyHostString(void* ptr, const char* text) {
    if (ptr == nullptr) return;
    std::strncpy(static_cast<char*>(ptr), text, vst2::kVstMaxVendorStrLen - 1);
    static_cast<char*>(ptr)[vst2::kVstMaxVendorStrLen - 1] = '\0';
}

bool canDo(const void* ptr) {
    if (ptr == nullptr) return false;
    return std::strcmp(static_cast<const char*>(ptr), "sendVstTimeInfo") == 0;
}

}  // namespace

const char* hostOpcodeName(vst2::VstInt32 opcode) {
    if (opcode < 0 || static_cast<std::size_t>(opcode) >= std::size(kOpcodeNames)) return "unknown";
    const char* name = kOpcodeNames[opcode];
    return name != nullptr ? name : "unknown";
}

vst2::VstIntPtr HostContext::answer(vst2::AEffect* /*effect*/, vst2::VstInt32 opcode, vst2::VstInt32 index,
                                    vst2::VstIntPtr value, void* ptr, float opt) {
    if (verbose) {
        std::fprintf(log, "host <- %s (%d) index=%d value=%lld opt=%g", hostOpcodeName(opcode), opcode, index,
                     static_cast<long long>(value), static_cast<double>(opt));
        if (opcode == vst2::audioMasterCanDo && ptr != nullptr)
            std::fprintf(log, " \"%s\"", static_cast<const char*>(ptr));
        std::fputc('\n', log);
    }
    switch (opcode) {
        case vst2::audioMasterVersion:
            return kHostVstVersion;
        case vst2::audioMasterGetTime:
            return reinterpret_cast<vst2::VstIntPtr>(&transport.snapshot());
        case vst2::audioMasterWantMidi:
            return 1;
        case vst2::audioMasterGetSampleRate:
            return static_cast<vst2::VstIntPtr>(sampleRate);
        case vst2::audioMasterGetBlockSize:
            return blockSize;
        case vst2::audioMasterGetCurrentProcessLevel:
            return static_cast<vst2::VstIntPtr>(processLevel);
        case vst2::audioMasterGetVendorString:
            copyHostString(ptr, kHostVendor);
            return 1;
        case vst2::audioMasterGetProductString:
            copyHostString(ptr, kHostProduct);
            return 1;
        case vst2::audioMasterGetVendorVersion:
            return kHostVendorVersion;
        case vst2::audioMasterCanDo:
            return canDo(ptr) ? 1 : 0;
        case vst2::audioMasterUpdateDisplay:
            return 1;
        default:
            return 0;
    }
}

ActiveHost::ActiveHost(HostContext& context) : previous_(activeContext) { activeContext = &context; }

ActiveHost::~ActiveHost() { activeContext = previous_; }

extern "C" vst2::VstIntPtr hostCallback(vst2::AEffect* effect, vst2::VstInt32 opcode, vst2::VstInt32 index,
                                        vst2::VstIntPtr value, void* ptr, float opt) {
    // Without a context we still answer the version query, otherwise a
    // plug-in would refuse to exist at all.
    if (activeContext == nullptr) return opcode == vst2::audioMasterVersion ? kHostVstVersion : 0;
    return activeContext->answer(effect, opcode, index, value, ptr, opt);
}

}  // namespace vhost
