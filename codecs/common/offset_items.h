// Items of the two offset coders, VRAX1 and VRAX1-A: a copy names the distance back to its source
// (1 to 4095), found through a single-probe hash table of positions. They differ only in the
// copy lengths (3 to 16 or 3 to 18) and in the life of the table, which the caller owns.
#pragma once

#include <algorithm>
#include <cstdint>

#include "bytes.h"
#include "compiler.h"
#include "copy.h"
#include "hash3.h"
#include "item_stream.h"

namespace vrax {

inline constexpr std::uint32_t MAX_OFFSET = 4095;

// Codes the item at in[i], where at least MAX_LEN bytes remain, whose three bytes hash to `slot`:
// one probe of `table` (4096 positions), which then holds i whatever the outcome. The candidate
// is usable when it lies 1 to 4095 bytes back and its first three bytes agree; the copy then takes
// every agreeing byte up to MAX_LEN.
//
// An entry that no position has written holds 0 and is read as position 0, so that every entry
// names bytes that can be loaded and the three-byte test alone decides, with no test for an
// empty entry on the way from the table to the candidate. That gives the same items as an empty
// entry: position 0's own slot is written at position 0, before any other position reads it,
// and a position whose three bytes equal those at 0 hashes to that slot, so through any other
// slot position 0 fails the three-byte test.
//
// CLAMP: the table comes from earlier calls (VRAX1-A) and an entry may lie past the input, left
// by a longer block; such an entry lies after i and fails the distance test, and clamping the
// candidate's address to in_size - 8 keeps its load inside the input (no other entry reaches that
// far: a candidate lies before i). Without CLAMP every entry must lie at most at in_size - 8.
template <std::uint32_t MAX_LEN, std::uint32_t BIAS, bool CLAMP>
VRAX_ALWAYS_INLINE inline std::uint32_t code_offset_item(const std::uint8_t* in,
                                                         std::uint32_t in_size,
                                                         std::uint32_t* table, std::uint32_t slot,
                                                         std::uint32_t i, std::uint8_t*& op) {
    static_assert(MAX_LEN == 16 || MAX_LEN == 18);
    const std::uint8_t* const p = in + i;
    std::uint32_t q = table[slot];
    table[slot] = i;
    const std::uint32_t offset = i - q;  // wraps for an entry at or after i
    if constexpr (CLAMP) q = std::min(q, in_size - 8);
    const std::uint64_t x = load64(p) ^ load64(in + q);
    // One branch decides the item: the three-byte test and the distance test are combined without
    // branches, since both outcomes follow the data and a second mispredicted branch costs more.
    std::uint64_t far = offset - 1 >= MAX_OFFSET;
    VRAX_OPAQUE(far);
    if (((x | far) & 0xFFFFFF) == 0) {
        const std::uint32_t len = match_length_after<MAX_LEN>(x, p, in + q);
        VRAX_ASSUME(len >= 3);  // the three-byte test passed
        return emit_copy(op, offset, len - BIAS, len);
    }
    return emit_literal(op, *p);
}

// Decoder side, for decode_items: the length is the length code + BIAS, so at most 15 + BIAS bytes,
// which bounds the wide copy too. An offset of 0 or one reaching before the output's start names
// no byte and makes the block malformed; offset - 1 wraps for 0, so one test catches both.
//
// The test runs against `reach`, the output length at an earlier copy: an offset that passes it
// passes against the current length too, so the output length is only worked out (and `reach`
// raised) when an offset goes beyond it. Once 4095 bytes are out, that happens only for offset 0.
template <std::uint32_t BIAS>
struct OffsetCopyItems {
    static constexpr std::uint32_t LENGTH_BIAS = BIAS;
    static constexpr bool PLAIN_LITERALS = true;

    std::uint32_t reach = 0;

    void literal(std::uint8_t*, std::uint8_t*, std::uint8_t) {}

    template <bool WIDE>
    bool copy(std::uint8_t* out, std::uint8_t* op, std::uint32_t offset, std::uint32_t len) {
        if (offset - 1 >= reach) [[unlikely]] {
            reach = std::uint32_t(op - out);
            if (offset - 1 >= reach) return false;
        }
        copy_item_bytes<WIDE, 15 + BIAS>(op, op - offset, len);
        return true;
    }
};

}  // namespace vrax
