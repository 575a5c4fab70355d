// Built-in resources on platforms whose libraries have no resource section:
// the images are compiled in as byte arrays (see cmake/EmbedResources.cmake).
#include <cstddef>

#include "runtime/platform/PlatformNative.h"

namespace platform::embedded {
struct Resource {
    const unsigned char* bytes;
    std::size_t size;
};
extern const Resource kResources[];
extern const int kResourceCount;
}  // namespace platform::embedded

namespace platform::native {

bool loadDataResource(int number, const unsigned char** bytes, std::size_t* size) {
    if (number < 0 || number >= embedded::kResourceCount || bytes == nullptr || size == nullptr) return false;
    *bytes = embedded::kResources[number].bytes;
    *size = embedded::kResources[number].size;
    return true;
}

}  // namespace platform::native
