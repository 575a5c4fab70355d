// The VST 3 library's exported entry points: the factory, and the module's
// entry and exit under each platform's names.
#include "effect/TonarvoVst3.h"

#if defined(_WIN32)
#define TONARVO_VST3_EXPORT extern "C" __declspec(dllexport)
#else
#define TONARVO_VST3_EXPORT extern "C" __attribute__((visibility("default")))
#endif

TONARVO_VST3_EXPORT vst3::IPluginFactory* GetPluginFactory() {
    return vst3face::moduleFactory(tonarvo::vst3Class());
}

#if defined(_WIN32)
TONARVO_VST3_EXPORT bool InitDll() { return vst3face::moduleEntry(); }
TONARVO_VST3_EXPORT bool ExitDll() { return vst3face::moduleExit(); }
#else
TONARVO_VST3_EXPORT bool ModuleEntry(void*) { return vst3face::moduleEntry(); }
TONARVO_VST3_EXPORT bool ModuleExit() { return vst3face::moduleExit(); }
#endif
