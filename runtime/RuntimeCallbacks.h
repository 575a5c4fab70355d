// The runtime's side of the adapter seam: the callback table whose entries
// reach a TPlexa effect through the adapter's effect pointer.
#pragma once

#include "host/CVeSTCallbacks.h"

namespace plexa {

// Every entry filled except keyDown and keyUp: key presses reach no effect code.
CVeSTCallbacks runtimeCallbacks();

}  // namespace plexa
