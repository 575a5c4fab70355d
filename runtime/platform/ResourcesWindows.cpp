// Built-in resources from the DLL's own resource section (type "DATA",
// numbered by image handle; see the generated .rc in CMakeLists.txt).
#include <cstddef>

#include "runtime/platform/PlatformNative.h"
#include "runtime/platform/PlatformWindows.h"

namespace platform::native {

bool loadDataResource(int number, const unsigned char** bytes, std::size_t* size) {
    // Resource numbers are 16 bits; anything else would be read as a name pointer.
    if (number < 0 || number > 0xFFFF || bytes == nullptr || size == nullptr) return false;
    const HMODULE module = windows::moduleHandle();
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(number), "DATA");
    if (found == nullptr) return false;
    const HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) return false;
    // Resource memory belongs to the mapped image and stays valid while the DLL is loaded.
    const void* data = LockResource(loaded);
    const DWORD length = SizeofResource(module, found);
    if (data == nullptr || length == 0) return false;
    *bytes = static_cast<const unsigned char*>(data);
    *size = length;
    return true;
}

}  // namespace platform::native
