#include "runtime/Trace.h"

#include <cstdio>

#include "runtime/platform/Platform.h"

namespace plexa {

int traceMessage(const std::string& text) {
    std::FILE* file = std::fopen(platform::traceFilePath().c_str(), "a");
    if (file == nullptr) return 0;
    std::fprintf(file, "%s\n", text.c_str());
    std::fclose(file);
    return platform::beep(2000, 200);
}

}  // namespace plexa
