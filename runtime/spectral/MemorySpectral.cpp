#include "runtime/spectral/MemorySpectral.h"

#include "runtime/EffectValue.h"
#include "runtime/spectral/ComplexProducts.h"
#include "runtime/spectral/Fft.h"
#include "runtime/spectral/Mdct.h"

namespace plexa::spectral {

namespace {

std::int32_t floorPowerOfTwo(std::int32_t n) {
    if (n <= 0) return 0;
    std::int32_t p = 1;
    while (p <= n / 2) p *= 2;
    return p;
}

// A buffer must lie in one memory block: blocks are separate arrays, so a
// buffer running past its block's end would run past the array.
double* blockBuffer(CPlexaMemory& memory, std::int32_t index, std::int32_t doubles) {
    const std::int32_t offset = index & (CPlexaMemory::MemoryBlockSize - 1);
    if (doubles > CPlexaMemory::MemoryBlockSize - offset) return nullptr;
    return &memory.memoryCell(index);
}

}  // namespace

void memFft(CPlexaMemory& memory, double index, double size, double mode) {
    const std::int32_t n = floorPowerOfTwo(truncInt(size));
    if (n < 16 || n > 32768) return;
    const std::int32_t m = truncInt(mode);
    if (m != 0 && m != 1 && m != 4 && m != 5) return;
    double* buffer = blockBuffer(memory, truncInt(index), 2 * n);
    if (buffer == nullptr) return;
    switch (m) {
        case 0: fftComplex(buffer, n, false); break;
        case 1: fftComplex(buffer, n, true); break;
        case 4: fftPermute(buffer, n); break;
        case 5: fftIpermute(buffer, n); break;
    }
}

void memConvolve(CPlexaMemory& memory, double destIndex, double srcIndex, double size) {
    const std::int32_t n = truncInt(size) & ~1;
    if (n < 2) return;
    double* dest = blockBuffer(memory, truncInt(destIndex), 2 * n);
    double* src = blockBuffer(memory, truncInt(srcIndex), 2 * n);
    if (dest == nullptr || src == nullptr) return;
    complexMultiply(dest, src, n);
}

void memMdct(CPlexaMemory& memory, double index, double size, double inverse) {
    const MdctContext* context = mdctContext(floorPowerOfTwo(truncInt(size)));
    if (context == nullptr) return;
    const std::int32_t n = context->n;
    double* buffer = blockBuffer(memory, truncInt(index), n);
    if (buffer == nullptr) return;
    double temporary[4096];
    if (!isNonZero(inverse)) {
        mdctWindow(*context, buffer, temporary);
        mdctForward(*context, temporary, buffer);
    } else {
        mdctInverse(*context, buffer, temporary);
        mdctWindow(*context, temporary, buffer);
    }
}

}  // namespace plexa::spectral
