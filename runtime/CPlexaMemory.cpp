#include "runtime/CPlexaMemory.h"

namespace plexa {

double& CPlexaMemory::memoryCell(std::int32_t index) {
    const std::int32_t blockNumber = index >> 16;  // arithmetic: -1 is in block -1
    const std::int32_t offset = index & 0xFFFF;
    std::vector<double>& block = memoryBlocks[blockNumber];
    if (block.size() != static_cast<std::size_t>(MemoryBlockSize)) block.resize(MemoryBlockSize, 0.0);
    return block[static_cast<std::size_t>(offset)];
}

void CPlexaMemory::clearMemory() { memoryBlocks.clear(); }

}  // namespace plexa
