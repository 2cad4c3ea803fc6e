// Table entries that may name FILL_STRING (VRAX2, VRAX3, VRAX3-A): 32-bit byte positions in the
// current block, with one reserved value for the fill string, so a 4096-entry table fits in
// 16 KiB on any machine.
#pragma once

#include <cstdint>
#include <cstring>

#include "codec.h"
#include "copy.h"

namespace vrax {

// The entry that names FILL_STRING. No block position can take it: blocks are shorter than 4 GiB.
inline constexpr std::uint32_t FILL_POSITION = 0xFFFFFFFFu;

// FILL_STRING with zero padding behind it, so that word-wide comparisons (18 bytes) and wide
// copies (WIDE_COPY_MAX bytes) read inside the array. Only its first 18 bytes ever match input.
alignas(64) inline constexpr std::uint8_t FILL_STRING_PADDED[64] = {
    '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '1', '2', '3', '4', '5', '6', '7', '8'};
static_assert(FILL_STRING_LENGTH == 18 && WIDE_COPY_MAX <= sizeof FILL_STRING_PADDED);

// The bytes an entry names: FILL_STRING, or the block position `position` of `base`.
inline const std::uint8_t* entry_bytes(const std::uint8_t* base, std::uint32_t position) {
    return position == FILL_POSITION ? FILL_STRING_PADDED : base + position;
}

// A copy of len ≤ 18 bytes out of FILL_STRING. WIDE: may write WIDE_COPY_MAX bytes from dst.
template <bool WIDE>
inline void copy_from_fill(std::uint8_t* dst, std::uint32_t len) {
    if constexpr (WIDE)
        std::memcpy(dst, FILL_STRING_PADDED, WIDE_COPY_MAX);
    else
        std::memcpy(dst, FILL_STRING_PADDED, len);
}

}  // namespace vrax
