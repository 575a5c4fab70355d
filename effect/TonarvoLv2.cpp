#include "effect/TonarvoLv2.h"

#include "editor/GraphicsBackend.h"
#include "editor/cairo/CairoGraphics.h"
#include "effect/TPlexaEffect.h"
#include "host/PluginEntry.h"

namespace tonarvo::lv2 {

vst2::AEffect* newInstance(vst2::audioMasterCallback host) {
    static const bool drawing = [] {
        gfx::installGraphicsPlatform(&gfx::cairoGraphicsPlatform());
        return true;
    }();
    (void)drawing;
    return vsthost::createPluginInstance<TPlexaEffect>(host);
}

}  // namespace tonarvo::lv2
