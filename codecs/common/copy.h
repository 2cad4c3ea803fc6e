// Copies inside an output buffer with the format's forward semantics: byte k of a copy is read
// after byte k - 1 has been written, so a source that overlaps the destination repeats the bytes
// just written. Every variant here produces exactly the bytes of the one-byte-at-a-time loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "compiler.h"
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

// A wide copy of an item (at most 18 bytes) from 1 to 8 bytes back: the bytes repeat with that
// period, so the first `offset` bytes at src, repeated into eight bytes of a register, are stored
// four times at steps of the largest multiple of the period that fits in eight (at least 5, so
// they cover 23 bytes or more). No load waits on a store of the copy itself, as it would in a loop
// over bytes. Writes up to 32 bytes from dst.
inline void copy_short_period_wide(std::uint8_t* dst, const std::uint8_t* src,
                                   std::size_t offset) {
    struct Period {
        std::uint64_t mask;    // the first `offset` bytes
        std::uint64_t repeat;  // a one at the start of every whole period in eight bytes
        std::size_t step;
    };
    static constexpr Period PERIODS[9] = {
        {0, 0, 0},
        {0xFF, 0x0101010101010101, 8},
        {0xFFFF, 0x0001000100010001, 8},
        {0xFFFFFF, 0x0001000001000001, 6},
        {0xFFFFFFFF, 0x0000000100000001, 8},
        {0xFFFFFFFFFF, 0x0000010000000001, 5},
        {0xFFFFFFFFFFFF, 0x0001000000000001, 6},
        {0xFFFFFFFFFFFFFF, 0x0100000000000001, 7},
        {~std::uint64_t(0), 1, 8},
    };
    const Period& period = PERIODS[offset];
    std::uint64_t bytes;
    std::memcpy(&bytes, src, 8);  // bytes from dst on are not the copy's yet; the mask drops them
    // The periods placed by the multiply do not overlap, so their sum is the repeated pattern.
    const std::uint64_t pattern = (bytes & period.mask) * period.repeat;
    VRAX_UNROLL(4)
    for (std::size_t k = 0; k < 4; ++k) std::memcpy(dst + k * period.step, &pattern, 8);
}

// A wide copy of an item (at most 18 bytes) from 9 to 15 bytes back: the eight bytes at the start
// of the period and the eight at its end, stored in two periods, cover 2 × offset ≥ 18 bytes.
// Both are read before anything is stored. Writes up to 30 bytes from dst.
inline void copy_near_wide(std::uint8_t* dst, const std::uint8_t* src, std::size_t offset) {
    std::uint64_t head, tail;
    std::memcpy(&head, src, 8);
    std::memcpy(&tail, src + offset - 8, 8);
    std::memcpy(dst, &head, 8);
    std::memcpy(dst + offset - 8, &tail, 8);
    std::memcpy(dst + offset, &head, 8);
    std::memcpy(dst + 2 * offset - 8, &tail, 8);
}

// A copy of len ≤ MAX_LEN bytes from src, which lies before dst in the same buffer, that may write
// garbage up to dst + 32 for items (MAX_LEN ≤ MAX_ITEM_COPY) and up to
// dst + wide_copy_reach(MAX_LEN) for longer copies (the caller guarantees that room). Items take
// one of three forms by offset, none of which branches on the length. Longer copies (phrases)
// move chunks of 16 or 8 bytes only when the offset is at least the chunk width, so no chunk reads
// a byte that it has yet to write; offset 1 is a run of one byte; they stop at the chunk that
// reaches len.
template <std::size_t MAX_LEN>
inline void copy_forward_wide(std::uint8_t* dst, const std::uint8_t* src, std::size_t len) {
    const std::size_t offset = std::size_t(dst - src);
    if constexpr (MAX_LEN <= MAX_ITEM_COPY) {
        if (offset >= FAR_COPY_OFFSET) return copy_far_wide<MAX_LEN>(dst, src);
        if (offset > 8) return copy_near_wide(dst, src, offset);
        return copy_short_period_wide(dst, src, offset);
    } else {
        std::size_t k = 0;  // len ≥ 1, so the first chunk is always due
        if (offset >= 16) {
            do std::memcpy(dst + k, src + k, 16);
            while ((k += 16) < len);
        } else if (offset >= 8) {
            do std::memcpy(dst + k, src + k, 8);
            while ((k += 8) < len);
        } else if (offset == 1) {
            std::memset(dst, src[0], len);
        } else {
            copy_forward_exact(dst, src, len);
        }
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
