// The VST 3 library's exported entry points: the factory, and the module's
// entry and exit under each platform's names.
#include "effect/TonarvoVst3.h"

#if defined(_WIN32)
#define TONARVO_VST3_EXPORT extern "C" __declspec(dllexport)
#else
#define TONARVO_VST3_EXPORT extern "C" __attribute__((visibility("default")))
#endif

TONARVO_VST3_EXPORT vst3::IPluginFactory* GetPluginFactory() {
    return vst3host::moduleFactory(tonarvo::vst3face::pluginClass());
}

#if defined(_WIN32)
TONARVO_VST3_EXPORT bool InitDll() { return vst3host::moduleEntry(); }
TONARVO_VST3_EXPORT bool ExitDll() { return vst3host::moduleExit(); }
#else
TONARVO_VST3_EXPORT bool ModuleEntry(void*) { return vst3host::moduleEntry(); }
TONARVO_VST3_EXPORT bool ModuleExit() { return vst3host::moduleExit(); }
#endif
