#include "runtime/FileRecord.h"

#include <cstdio>

#include "runtime/EffectValue.h"
#include "runtime/ModulePath.h"
#include "runtime/SharedValue.h"

namespace plexa {

void FileRecord::flush() const {
    if (mode != Writing || fileName.empty()) return;
    std::FILE* file = std::fopen(resolvePath(fileName).c_str(), "wb");
    if (file == nullptr) return;
    for (float value : data) {
        const unsigned char byte = static_cast<unsigned char>(truncInt(value) & 0xFF);
        std::fputc(byte, file);
    }
    std::fclose(file);
}

void FileRecord::reset(std::uint32_t newMode) {
    flush();
    fileName.clear();
    data.clear();
    position = 0;
    statusFlag = 0;
    statusWord = 0;
    mode = newMode;
}

void FileRecord::streamValue(double& value) {
    if (position < 0) return;
    const std::size_t at = static_cast<std::size_t>(position);
    if (mode == Writing) {
        if (data.size() < at + 1) data.resize(at + 1, 0.0f);
        data[at] = static_cast<float>(readShared(value));  // nearest single; not sanitised
        ++position;
    } else if (mode == Reading) {
        if (at < data.size()) {
            // Stored as read, but like every effect value never non-finite:
            // a NaN slider would reach the host through getParameter.
            writeShared(value, sanitize(static_cast<double>(data[at])));
            ++position;
        }
    }
}

}  // namespace plexa
