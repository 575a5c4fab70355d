// Tonarvo's class under VST 3, shared by the library's entry points and the
// generator of the bundle's moduleinfo.json.
#pragma once

#include "host/vst3/Vst3Entry.h"

namespace tonarvo {

// Chosen once at random; hosts find sessions' plug-ins by it, so it never
// changes.
inline constexpr std::uint32_t kVst3ClassId[4] = {0x60950277, 0xBFA647B8, 0x90278E15, 0x7E1FEF98};

// The class the module registers: the VST 2.4 name and vendor, the
// project's version.
const vst3face::PluginClass& vst3Class();

}  // namespace tonarvo
