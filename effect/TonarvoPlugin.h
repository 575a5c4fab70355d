// Tonarvo as the wrapped faces (VST 3, CLAP, LV2) present it: the one
// description each of them translates.
#pragma once

#include <cstdint>

#include "host/wrap/PluginModel.h"

namespace tonarvo {

const wrap::PluginDescription& pluginDescription();

// Frames the output rings on after the input falls silent, at a rate.
std::uint32_t tailFrames(double sampleRate);

}  // namespace tonarvo
