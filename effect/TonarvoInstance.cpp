#include "effect/TonarvoInstance.h"

#include "editor/GraphicsBackend.h"
#include "effect/TPlexaEffect.h"
#include "host/PluginEntry.h"

#if defined(_WIN32)
#include "editor/gdiplus/GdiplusGraphics.h"
#else
#include "editor/cairo/CairoGraphics.h"
#endif

namespace tonarvo {

namespace {
// This platform's drawing backend; without it the null platform of
// GraphicsBackend.h stays in place (no fonts, no images).
void installPlatformGraphics() {
    static const bool installed = [] {
#if defined(_WIN32)
        gfx::installGraphicsPlatform(&gfx::gdiplusGraphicsPlatform());  // starts GDI+ only when first used
#else
        gfx::installGraphicsPlatform(&gfx::cairoGraphicsPlatform());
#endif
        return true;
    }();
    (void)installed;
}
}  // namespace

vst2::AEffect* newInstance(vst2::audioMasterCallback host) {
    installPlatformGraphics();
    return vsthost::createPluginInstance<TPlexaEffect>(host);
}

}  // namespace tonarvo
