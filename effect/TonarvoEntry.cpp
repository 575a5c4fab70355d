// The library's exported entry point, under every name hosts look for.
#include "effect/TPlexaEffect.h"
#include "host/PluginEntry.h"

#if defined(_WIN32)
#define TONARVO_EXPORT extern "C" __declspec(dllexport)
#else
#define TONARVO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

TONARVO_EXPORT vst2::AEffect* VSTPluginMain(vst2::audioMasterCallback hostCallback) {
    return vsthost::createPluginInstance<TPlexaEffect>(hostCallback);
}

// Older hosts look for "main": the same function under a second name. It is a
// symbol only; nothing runs it as a program's main.
TONARVO_EXPORT vst2::AEffect* mainEntryAlias(vst2::audioMasterCallback hostCallback) __asm__("main")
    __attribute__((alias("VSTPluginMain")));
