// VRAX1's constants, shared by its sources and its tests.
#pragma once

#include <cstdint>

namespace vrax1 {

// A copy may start only where at least 16 bytes remain; items in the last 15 bytes of a block are
// literals.
inline constexpr std::uint32_t LOOKAHEAD = 16;
// Copy lengths are length code + 1. The compressor writes 3 to 16 (codes 2 to 15); the decoder
// also honours codes 0 and 1.
inline constexpr std::uint32_t LENGTH_BIAS = 1;
inline constexpr std::uint32_t MAX_COPY = 15 + LENGTH_BIAS;
// The match length is counted over 16 bytes at p, which the look-ahead guarantees are readable.
static_assert(MAX_COPY == LOOKAHEAD);

}  // namespace vrax1
