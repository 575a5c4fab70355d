// A VST 3 module of one audio effect class: the class is one object that is
// component, processor and edit controller at once, over the effect's own
// VST 2.4 instance, as the shared model presents it (wrap::PluginModel):
// parameters with the VST 2.4 indexes as IDs and normalised values, then the
// bypass; the component state is the model's (the VST 2.4 chunk, then the
// exact values).
#pragma once

#include <cstdint>

#include "host/vst3/Vst3Abi.h"
#include "host/wrap/PluginModel.h"

namespace vst3face {

// What a module says about its one class.
struct PluginClass {
    std::uint32_t classId[4];  // the four words of the class ID
    const char* name;
    const char* vendor;
    const char* url;
    const char* email;
    const char* version;        // "Major.Minor.Sub"
    const char* subCategories;  // '|'-separated, main type first
    // The plug-in every face presents.
    const wrap::PluginDescription& description;
};

inline constexpr const char* kSdkVersion = "VST 3.8.1";

// The module's factory (one for the module's lifetime; each call adds a
// reference for the caller) and its entry and exit, counted.
vst3::IPluginFactory3* moduleFactory(const PluginClass& plugin);
bool moduleEntry();
bool moduleExit();

}  // namespace vst3face
