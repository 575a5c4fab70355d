#include "runtime/ModulePath.h"

#include "runtime/platform/Platform.h"

namespace plexa {

std::string moduleDirectoryOf(const std::string& libraryPath) {
    const std::size_t cut = libraryPath.find_last_of("\\/");
    if (cut == std::string::npos) return {};
    return libraryPath.substr(0, cut + 1);
}

std::string moduleDirectory() { return moduleDirectoryOf(platform::modulePath()); }

std::string resolvePath(const std::string& name) {
    std::string relative = name;
    if (!relative.empty() && (relative.front() == '\\' || relative.front() == '/')) relative.erase(0, 1);
    return moduleDirectory() + relative;
}

}  // namespace plexa
