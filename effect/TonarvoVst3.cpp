#include "effect/TonarvoVst3.h"

#include "effect/TPlexaEffect.h"
#include "effect/TonarvoPlugin.h"

#ifndef TONARVO_VERSION
#error "TONARVO_VERSION must name the project's version"
#endif

namespace tonarvo {

const vst3face::PluginClass& vst3Class() {
    static const vst3face::PluginClass plugin{
        {kVst3ClassId[0], kVst3ClassId[1], kVst3ClassId[2], kVst3ClassId[3]},
        TPlexaEffect::kDescription,
        TPlexaEffect::kVendor,
        "",
        "",
        TONARVO_VERSION,
        // A tone arm and stylus colour the sound as a saturating effect
        // does; hosts file such character processors under distortion.
        "Fx|Distortion|Stereo",
        pluginDescription(),
    };
    return plugin;
}

}  // namespace tonarvo
