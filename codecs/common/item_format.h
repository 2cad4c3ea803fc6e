// The numbers that the control-word codecs (VRAX1-A, VRAX2, VRAX3, VRAX3-A, and VRAX1 but for its
// lengths) share: what a copy item can name, how long a copy can be, and where copies may start.
#pragma once

#include <cstdint>

namespace vrax {

// A copy item's 12-bit number picks one of 4096 entries: an offset back (VRAX1, VRAX1-A), a phrase
// number (VRAX2) or a slot (VRAX3, VRAX3-A). Every table of these codecs, the numbered ones and
// those that the 12-bit three-byte hash indexes, has that many entries.
inline constexpr std::uint32_t TABLE_ENTRIES = 4096;

// A copy's length is its 4-bit length code plus LENGTH_BIAS, so 3 to 18 bytes, and a copy of
// fewer than 3 agreeing bytes cannot be written. VRAX1 alone adds 1 (vrax1_internal.h).
inline constexpr std::uint32_t LENGTH_BIAS = 3;
inline constexpr std::uint32_t MAX_ITEM_COPY = 15 + LENGTH_BIAS;

// A compressor tries a copy only where the longest one fits in what is left of the block, so that
// matching never reads past it: items in the last LOOKAHEAD - 1 bytes are literals.
inline constexpr std::uint32_t LOOKAHEAD = MAX_ITEM_COPY;

}  // namespace vrax
