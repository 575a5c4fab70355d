// The spectral functions as effect code calls them: on the effect memory,
// with indexes, sizes and modes as effect values.
#pragma once

#include "runtime/CPlexaMemory.h"

namespace plexa::spectral {

// Complex transform of size complex numbers at index (size rounded down to a
// power of two, 16 to 32768). Mode 0 forward, 1 inverse, 4 permute to natural
// order, 5 back to the transform's order; other modes do nothing.
void memFft(CPlexaMemory& memory, double index, double size, double mode);
// dest[j] *= src[j] over size complex numbers, size made even.
void memConvolve(CPlexaMemory& memory, double destIndex, double srcIndex, double size);
// Windowed MDCT in place: size samples (rounded down to a power of two, 32 to
// 4096) become size/2 coefficients, or back when inverse is non-zero.
void memMdct(CPlexaMemory& memory, double index, double size, double inverse);

}  // namespace plexa::spectral
