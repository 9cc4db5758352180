// What the SSE2 and AVX2 lanes share: the positions of a 4-bit mask's set bits in one table look-up.
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace {

// For each 4-bit mask, the positions of its set bits, then zeros; and how many are set.
alignas(16) const int32_t set_bit_at[16][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0},
                                               {2, 0, 0, 0}, {0, 2, 0, 0}, {1, 2, 0, 0}, {0, 1, 2, 0},
                                               {3, 0, 0, 0}, {0, 3, 0, 0}, {1, 3, 0, 0}, {0, 1, 3, 0},
                                               {2, 3, 0, 0}, {0, 2, 3, 0}, {1, 2, 3, 0}, {0, 1, 2, 3}};
const int set_bit_count[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

// Writes base + the positions of the set bits of a 4-bit mask, in order, to out[0 ..];
// out[0 .. 3] may all be written.  Returns the number of set bits.
inline int append_set_bits(int *out, int base, int mask)
{
    const __m128i at = _mm_load_si128((const __m128i *)set_bit_at[mask]);
    _mm_storeu_si128((__m128i *)out, _mm_add_epi32(at, _mm_set1_epi32(base)));
    return set_bit_count[mask];
}

} // namespace
