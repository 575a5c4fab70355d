// The render command: an audio file through the plug-in, driven in the order
// a real host uses, with a summary of what happened.
#pragma once

#include <cstdio>

#include "tools/vsthost/Options.h"

namespace vhost {

void runRender(const Options& options, std::FILE* out);

}  // namespace vhost
