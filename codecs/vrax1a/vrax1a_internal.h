// VRAX1-A's constants, shared by its sources and its tests.
#pragma once

#include <cstdint>

namespace vrax1a {

// A copy needs 18 bytes of look-ahead; items in the last 17 bytes of a block are literals.
inline constexpr std::uint32_t LOOKAHEAD = 18;
// Copy lengths are length code + 3, so 3 to 18.
inline constexpr std::uint32_t LENGTH_BIAS = 3;
inline constexpr std::uint32_t MAX_COPY = 15 + LENGTH_BIAS;
static_assert(MAX_COPY == LOOKAHEAD);

// The hash table: 4096 positions in the source of 32 bits. The zero-filled memory of a new run
// acts as an empty table (see code_offset_item).
inline constexpr std::uint32_t TABLE_ENTRIES = 4096;
inline constexpr std::uint32_t WORK_SIZE = 16387;
static_assert(TABLE_ENTRIES * sizeof(std::uint32_t) + 3 <= WORK_SIZE);

}  // namespace vrax1a
