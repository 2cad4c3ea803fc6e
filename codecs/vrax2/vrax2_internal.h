// VRAX2's constants and working-memory layout, shared by its sources and its tests.
#pragma once

#include <cstdint>

#include "item_format.h"

namespace vrax2 {

// Look-ahead, copy lengths and table sizes are the shared ones (item_format.h). Items in the last
// LOOKAHEAD - 1 bytes of a block are literals and take no phrase number in the compressor.

// Every item takes the next of TABLE_ENTRIES cycling phrase numbers; a copy names one of them.
inline constexpr std::uint32_t PHRASE_MASK = vrax::TABLE_ENTRIES - 1;

// Working memory: the decompressor's phrase table (32-bit positions), counted from the first
// 4-byte-aligned address, which may lie up to 3 bytes into the memory. The compressor keeps its
// table on its stack.
inline constexpr std::uint32_t WORK_SIZE = 24676;

}  // namespace vrax2
