// The LV2 library's exported entry points: one plug-in and its interface.
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include "effect/TonarvoLv2.h"
#include "effect/TonarvoPlugin.h"
#include "host/lv2/Lv2Plugin.h"
#include "host/lv2/Lv2View.h"

#define TONARVO_LV2_EXPORT extern "C" __attribute__((visibility("default")))

TONARVO_LV2_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    static const lv2face::PluginDescriptor plugin =
        lv2face::pluginDescriptor(tonarvo::kLv2PluginUri, tonarvo::pluginDescription());
    return index == 0 ? &plugin.lv2 : nullptr;
}

TONARVO_LV2_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
    static const lv2face::UiDescriptor ui = lv2face::uiDescriptor(tonarvo::kLv2UiUri, tonarvo::kLv2PluginUri);
    return index == 0 ? &ui.lv2 : nullptr;
}
