// Copies inside an output buffer with the format's forward semantics: byte k of a copy is read
// after byte k - 1 has been written, so a source that overlaps the destination repeats the bytes
// just written. Every variant here produces exactly the bytes of the one-byte-at-a-time loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "item_format.h"

namespace vrax {

// The reference loop: exact, writes dst[0 .. len-1] only.
inline void copy_forward_exact(std::uint8_t* dst, const std::uint8_t* src, std::size_t len) {
    for (std::size_t k = 0; k < len; ++k) dst[k] = src[k];
}

// Bytes that copy_forward_wide<MAX_LEN> may write from dst on: whole 16-byte chunks.
constexpr std::size_t wide_copy_reach(std::size_t max_len) { return (max_len + 15) / 16 * 16; }

// A wide copy of at most MAX_LEN ≤ 32 bytes from FAR_COPY_OFFSET or more bytes back: one 16-byte
// chunk and the few bytes past it, if any, whatever len is. A second 16-byte chunk would cost a
// wider store (one more cache-line split) for bytes that the next item overwrites.
inline constexpr std::size_t FAR_COPY_OFFSET = 16;
template <std::size_t MAX_LEN>
inline void copy_far_wide(std::uint8_t* dst, const std::uint8_t* src) {
    static_assert(MAX_LEN <= 32);
    std::memcpy(dst, src, 16);
    if constexpr (MAX_LEN > 16) std::memcpy(dst + 16, src + 16, MAX_LEN - 16);
}

// A copy of len ≤ MAX_LEN bytes from src, which lies before dst in the same buffer, that may write
// garbage up to dst + wide_copy_reach(MAX_LEN) (the caller guarantees that room). Chunks of 16 or
// 8 bytes are only used when the offset is at least the chunk width, so no chunk reads a byte that
// it has yet to write; offset 1 is a run of one byte. Copies of at most 32 bytes (items) run over
// MAX_LEN bytes whatever len is (a 16-byte chunk and a short move after it, for offsets of 16 or
// more), so that they do not branch on the length; longer ones (phrases) stop at the chunk that
// reaches len.
template <std::size_t MAX_LEN>
inline void copy_forward_wide(std::uint8_t* dst, const std::uint8_t* src, std::size_t len) {
    const std::size_t span = MAX_LEN <= 32 ? MAX_LEN : len;
    const std::size_t offset = std::size_t(dst - src);
    std::size_t k = 0;  // len ≥ 1, so the first chunk is always due
    if constexpr (MAX_LEN <= 32) {
        if (offset >= FAR_COPY_OFFSET) return copy_far_wide<MAX_LEN>(dst, src);
    }
    if (offset >= 16) {
        do std::memcpy(dst + k, src + k, 16);
        while ((k += 16) < span);
    } else if (offset >= 8) {
        do std::memcpy(dst + k, src + k, 8);
        while ((k += 8) < span);
    } else if (offset == 1) {
        std::memset(dst, src[0], span);
    } else {
        copy_forward_exact(dst, src, len);
    }
}

// Bytes that a wide copy of an item may write from its start.
inline constexpr std::size_t WIDE_COPY_MAX = wide_copy_reach(MAX_ITEM_COPY);

// A copy item's bytes, len ≤ MAX_LEN: with WIDE, a wide copy (the decoder's fast loop leaves
// WIDE_COPY_MAX bytes of room); without, exactly len bytes. A codec whose copies are shorter than
// MAX_ITEM_COPY (VRAX1, 16 bytes) names its own MAX_LEN and moves one chunk fewer.
template <bool WIDE, std::size_t MAX_LEN = MAX_ITEM_COPY>
inline void copy_item_bytes(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t len) {
    static_assert(MAX_LEN <= MAX_ITEM_COPY);
    if constexpr (WIDE)
        copy_forward_wide<MAX_LEN>(dst, src, len);
    else
        copy_forward_exact(dst, src, len);
}

}  // namespace vrax
