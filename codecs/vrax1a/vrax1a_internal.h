// VRAX1-A's constants, shared by its sources and its tests.
#pragma once

#include <cstdint>

#include "item_format.h"

namespace vrax1a {

// Look-ahead, copy lengths and table size are the shared ones (item_format.h). The working memory
// holds the hash table: TABLE_ENTRIES positions in the source of 32 bits. The zero-filled memory
// of a new run acts as an empty table (see look_offset).
inline constexpr std::uint32_t WORK_SIZE = 16387;
static_assert(vrax::TABLE_ENTRIES * sizeof(std::uint32_t) + 3 <= WORK_SIZE);

}  // namespace vrax1a
