// In-place ascending sorts of typed arrays, positions 1..N.
#pragma once

#include <cstdint>

#include "typedarrays.h"

namespace ehi {

/// Sorts R[1..N] ascending; N < 2 leaves the array as it is.
void RealArSort(RealArPtr& R, int16_t N);
/// Sorts R[1..N] ascending (signed 16-bit order).
void IntArSort(IntArPtr& R, int16_t N);

}  // namespace ehi
