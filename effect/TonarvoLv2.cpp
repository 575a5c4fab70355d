#include "effect/TonarvoLv2.h"

#include "effect/TonarvoInstance.h"

namespace tonarvo::lv2 {

vst2::AEffect* newInstance(vst2::audioMasterCallback host) { return tonarvo::newInstance(host); }

}  // namespace tonarvo::lv2
