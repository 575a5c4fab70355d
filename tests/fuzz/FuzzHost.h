// What the VST 2.4 fuzz targets share: an in-process instance of the effect,
// created through the same factory the exported entry point uses.
#pragma once

#include <cstdint>
#include <cstring>

#include "ByteReader.h"
#include "effect/TPlexaEffect.h"
#include "host/PluginEntry.h"
#include "host/vst2_abi.h"

namespace fuzz {

using namespace vst2;

// Time information the host hands out, when it hands any out at all.
inline VstTimeInfo gTimeInfo{};
inline bool gGiveTimeInfo = false;

inline VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion: return 2400;
        case audioMasterGetTime: return gGiveTimeInfo ? reinterpret_cast<VstIntPtr>(&gTimeInfo) : 0;
        default: return 0;
    }
}

inline AEffect* createEffect() {
    AEffect* effect = vsthost::createPluginInstance<TPlexaEffect>(&host);
    FUZZ_CHECK(effect != nullptr);
    return effect;
}

inline VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                          float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

}  // namespace fuzz
