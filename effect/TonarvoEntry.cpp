// The library's exported entry point, under every name hosts look for.
#include "effect/TonarvoInstance.h"

#if defined(_WIN32)
#define TONARVO_EXPORT extern "C" __declspec(dllexport)
#else
#define TONARVO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

TONARVO_EXPORT vst2::AEffect* VSTPluginMain(vst2::audioMasterCallback hostCallback) {
    return tonarvo::newInstance(hostCallback);
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
