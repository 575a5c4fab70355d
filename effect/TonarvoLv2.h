// Tonarvo's names under LV2, shared by the library's LV2 entry points and
// the generator of the bundle's description.
#pragma once

#include "host/vst2_abi.h"

namespace tonarvo::lv2 {

inline constexpr const char* kPluginUri = "urn:tonarvo:tonarvo";
inline constexpr const char* kUiUri = "urn:tonarvo:tonarvo#ui";
// Port symbols of the six controls, in parameter order.
inline constexpr const char* kControlSymbols[] = {"input_trim", "output_trim", "cartridge",
                                                   "resonance",  "damping",     "slew_limit"};

// One instance behind its VST 2.4 descriptor, with the drawing backend its
// editor needs: what the VST 2.4 entry point makes.
vst2::AEffect* newInstance(vst2::audioMasterCallback host);

}  // namespace tonarvo::lv2
