// The analyze command: frequency response, harmonic distortion and step
// response of any plug-in, for one setting or a family of values of one
// parameter, written as CSV tables and PNG charts into a folder.
#pragma once

#include <cstdio>

#include "tools/vsthost/Options.h"

namespace vhost {

void runAnalyze(const Options& options, std::FILE* out);

}  // namespace vhost
