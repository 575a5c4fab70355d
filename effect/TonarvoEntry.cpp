// The library's exported entry point, under every name hosts look for.
#include "editor/GraphicsBackend.h"
#include "effect/TPlexaEffect.h"
#include "host/PluginEntry.h"

#if defined(_WIN32)
#include "editor/gdiplus/GdiplusGraphics.h"
#else
#include "editor/cairo/CairoGraphics.h"
#endif

#if defined(_WIN32)
#define TONARVO_EXPORT extern "C" __declspec(dllexport)
#else
#define TONARVO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
// This platform's drawing backend; null where there is none, which leaves
// the null platform of GraphicsBackend.h in place (no fonts, no images).
gfx::GraphicsPlatform* platformGraphics() {
#if defined(_WIN32)
    return &gfx::gdiplusGraphicsPlatform();  // starts GDI+ only when first used
#else
    return &gfx::cairoGraphicsPlatform();
#endif
}

void installPlatformGraphics() {
    static const bool installed = [] {
        if (gfx::GraphicsPlatform* graphics = platformGraphics()) gfx::installGraphicsPlatform(graphics);
        return true;
    }();
    (void)installed;
}
}  // namespace

TONARVO_EXPORT vst2::AEffect* VSTPluginMain(vst2::audioMasterCallback hostCallback) {
    installPlatformGraphics();
    return vsthost::createPluginInstance<TPlexaEffect>(hostCallback);
}

#if !defined(_WIN32)
// Older hosts look for "main" or "MAIN": the same function under further
// names. They are symbols only; nothing runs them as a program's main.
TONARVO_EXPORT vst2::AEffect* mainEntryAlias(vst2::audioMasterCallback hostCallback) __asm__("main")
    __attribute__((alias("VSTPluginMain")));
TONARVO_EXPORT vst2::AEffect* upperMainEntryAlias(vst2::audioMasterCallback hostCallback) __asm__("MAIN")
    __attribute__((alias("VSTPluginMain")));
#endif
// On Windows host/Tonarvo.def exports the same function as "main" and "MAIN".
