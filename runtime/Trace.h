// The runtime's only report: a line in the trace file and a beep.
#pragma once

#include <string>

namespace plexa {

// Appends text as one line to the trace file, then beeps at 2000 Hz for 200 ms.
// Returns 0 when the file cannot be opened (nothing else happens), else the
// beep's result.
int traceMessage(const std::string& text);

}  // namespace plexa
