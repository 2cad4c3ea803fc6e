// VRAX2's constants and working-memory layout, shared by its sources and its tests.
#pragma once

#include <cstdint>

namespace vrax2 {

// A copy needs 18 bytes of look-ahead; items in the last 17 bytes of a block are literals and
// take no phrase number in the compressor.
inline constexpr std::uint32_t LOOKAHEAD = 18;
// Copy lengths are length code + 3, so 3 to 18.
inline constexpr std::uint32_t LENGTH_BIAS = 3;
inline constexpr std::uint32_t MIN_COPY = 3;

// Every item takes the next of 4096 cycling phrase numbers; a copy names one of them.
inline constexpr std::uint32_t PHRASES = 4096;
inline constexpr std::uint32_t PHRASE_MASK = PHRASES - 1;
// The compressor's hash table: one 16-bit phrase number per slot of the three-byte hash.
inline constexpr std::uint32_t HASH_SLOTS = 4096;

// Working memory: the compressor's hash table first, the phrase table (32-bit positions) right
// behind it; the decompressor uses only a phrase table, at the start. Both count from the first
// 4-byte-aligned address, which may lie up to 3 bytes into the memory.
inline constexpr std::uint32_t HASH_TABLE_BYTES = HASH_SLOTS * sizeof(std::uint16_t);
inline constexpr std::uint32_t PHRASE_TABLE_BYTES = PHRASES * sizeof(std::uint32_t);
inline constexpr std::uint32_t WORK_SIZE = 24676;
static_assert(HASH_TABLE_BYTES + PHRASE_TABLE_BYTES + 3 <= WORK_SIZE);
static_assert(HASH_TABLE_BYTES % alignof(std::uint32_t) == 0, "phrase table stays aligned");

}  // namespace vrax2
