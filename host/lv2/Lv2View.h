// The LV2 user interface: the effect's own editor (the same window, view and
// drawing as under VST 2.4), opened in the host's parent window and driven by
// the host's idle calls. It reaches the running instance through
// instance-access. Since the host owns the controls, a value the mouse sets
// in the interface also goes to the host, whose port would otherwise put the
// old value back at the next run.
#pragma once

#include <lv2/ui/ui.h>

namespace lv2face {

// An LV2 interface descriptor that knows the plug-in it belongs to.
struct UiDescriptor {
    LV2UI_Descriptor lv2;
    const char* pluginUri;
};

UiDescriptor uiDescriptor(const char* uiUri, const char* pluginUri);

}  // namespace lv2face
