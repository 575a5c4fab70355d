// Sparse effect memory: 65,536-value blocks created on first touch.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace plexa {

class CPlexaMemory {
public:
    static constexpr std::int32_t MemoryBlockSize = 65536;

    // Reference to the cell of index; creates and sizes its block first. Stays
    // valid until clearMemory().
    double& memoryCell(std::int32_t index);
    void clearMemory();

    std::map<std::int32_t, std::vector<double>> memoryBlocks;

protected:
    CPlexaMemory() = default;
    ~CPlexaMemory() = default;
};

}  // namespace plexa
