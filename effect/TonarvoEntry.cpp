// The library's exported entry point, under every name hosts look for.
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
void installPlatformGraphics() {
    static const bool installed = [] {
#if defined(_WIN32)
        gfx::installGraphicsPlatform(&gfx::gdiplusGraphicsPlatform());
#else
        gfx::installGraphicsPlatform(&gfx::cairoGraphicsPlatform());
#endif
        return true;
    }();
    (void)installed;
}
}  // namespace

TONARVO_EXPORT vst2::AEffect* VSTPluginMain(vst2::audioMasterCallback hostCallback) {
    installPlatformGraphics();
    return vsthost::createPluginInstance<TPlexaEffect>(hostCallback);
}

// Older hosts look for "main": the same function under a second name. It is a
// symbol only; nothing runs it as a program's main.
TONARVO_EXPORT vst2::AEffect* mainEntryAlias(vst2::audioMasterCallback hostCallback) __asm__("main")
    __attribute__((alias("VSTPluginMain")));
