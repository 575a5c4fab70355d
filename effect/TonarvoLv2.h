// Tonarvo's names under LV2, shared by the library's LV2 entry points and
// the generator of the bundle's description.
#pragma once

namespace tonarvo {

inline constexpr const char* kLv2PluginUri = "urn:tonarvo:tonarvo";
inline constexpr const char* kLv2UiUri = "urn:tonarvo:tonarvo#ui";
// Port symbols of the six controls, in parameter order.
inline constexpr const char* kLv2ControlSymbols[] = {"input_trim", "output_trim", "cartridge",
                                                      "resonance",  "damping",     "slew_limit"};

}  // namespace tonarvo
