// A stream of 32-bit floats; record 0 of the file layer carries the state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plexa {

struct FileRecord {
    enum Mode : std::uint32_t { Closed = 0, Reading = 1, Writing = 2 };

    std::string fileName;  // relative to the plug-in folder; empty for the state stream
    std::int32_t position = 0;
    std::vector<float> data;
    std::uint8_t statusFlag = 0;
    std::uint8_t initialFlag = 1;
    std::uint32_t mode = Closed;
    std::uint64_t statusWord = 0;

    // Writes a named record in write mode to its file (one byte per value).
    void flush() const;
    // Flushes, then empties the record and puts it in newMode.
    void reset(std::uint32_t newMode);
    // Writes the value (mode 2) or reads the next one into it (mode 1). The
    // value may be a slider that other threads use: it is accessed as shared.
    void streamValue(double& value);
};

}  // namespace plexa
