// VRAX2's constants and working-memory layout, shared by its sources and its tests.
#pragma once

#include <cstdint>

#include "item_format.h"

namespace vrax2 {

// Look-ahead, copy lengths and table sizes are the shared ones (item_format.h). Items in the last
// LOOKAHEAD - 1 bytes of a block are literals and take no phrase number in the compressor.

// Every item takes the next of TABLE_ENTRIES cycling phrase numbers; a copy names one of them.
inline constexpr std::uint32_t PHRASE_MASK = vrax::TABLE_ENTRIES - 1;

// Working memory: the compressor's hash table (one 16-bit phrase number per slot of the
// three-byte hash) first, the phrase table (32-bit positions) right
// behind it; the decompressor uses only a phrase table, at the start. Both count from the first
// 4-byte-aligned address, which may lie up to 3 bytes into the memory.
inline constexpr std::uint32_t HASH_TABLE_BYTES = vrax::TABLE_ENTRIES * sizeof(std::uint16_t);
inline constexpr std::uint32_t PHRASE_TABLE_BYTES = vrax::TABLE_ENTRIES * sizeof(std::uint32_t);
inline constexpr std::uint32_t WORK_SIZE = 24676;
static_assert(HASH_TABLE_BYTES + PHRASE_TABLE_BYTES + 3 <= WORK_SIZE);
static_assert(HASH_TABLE_BYTES % alignof(std::uint32_t) == 0, "phrase table stays aligned");

}  // namespace vrax2
