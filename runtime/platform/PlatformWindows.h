// What only the Windows build has beyond the portable seam: the handle of the
// plug-in library itself, for its resources and (later) its window class.
#pragma once

#include <windows.h>

namespace platform::windows {

// The handle the loader last passed to this library's DllMain; null in a
// program that links the runtime without being a DLL.
HMODULE moduleHandle();

}  // namespace platform::windows
