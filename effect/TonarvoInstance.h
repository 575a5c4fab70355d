// The one way every face makes the effect: an instance behind its VST 2.4
// descriptor, with this platform's drawing backend installed for its editor.
#pragma once

#include "host/vst2_abi.h"

namespace tonarvo {

vst2::AEffect* newInstance(vst2::audioMasterCallback host);

}  // namespace tonarvo
