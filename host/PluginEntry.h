// Builds one plug-in instance: callback table, effect object and adapter,
// wired together. The exported entry points call this with their effect class.
#pragma once

#include <memory>

#include "host/CVeST.h"
#include "host/vst2_abi.h"
#include "runtime/RuntimeCallbacks.h"

namespace vsthost {

template <typename Effect>
vst2::AEffect* createPluginInstance(vst2::audioMasterCallback hostCallback) {
    // Nothing may unwind into the host, which is not C++ (or not ours).
    try {
        const CVeSTCallbacks table = plexa::runtimeCallbacks();
        std::unique_ptr<Effect> effect(new Effect());
        CVeST* adapter = CVeST::create(effect.get(), table, hostCallback, 1, effect->sliderCount());
        if (adapter == nullptr) return nullptr;  // the effect goes with the unique_ptr
        Effect* owned = effect.release();  // the adapter owns it from here
        owned->adapter = adapter;
        return adapter->getAeffect();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace vsthost
