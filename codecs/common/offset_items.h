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

// What an offset item decides on (compress_items' Lookup): the entry of its slot, and `test`, the
// item's first eight bytes XOR those at the entry, OR a nonzero value below bit 24 when the entry
// is not 1 to MAX_OFFSET bytes back. The item is a copy exactly when the low 24 bits of `test` are
// 0, and `test` is then the XOR itself, whose trailing zeros give the first bytes of the length.
struct OffsetLookup {
    std::uint32_t slot;
    std::uint32_t entry;
    std::uint64_t test;
};

// Where the entries of a table may lie, relative to the item that looks one up (look_offset):
//   earlier:  before the item (VRAX1: a table that starts anew in every call, once the block's
//             first item is known to be a literal);
//   inside:   anywhere at most 8 bytes before the input's end, the item's own position included
//             (VRAX1-A's carried table).
// Either way the candidate's eight bytes can be loaded.
enum class Entries { earlier, inside };

// The lookup of an item whose three bytes hash to `slot`, in `table` (4096 positions).
//
// An entry that no position has written holds 0 and is read as position 0, so that every entry
// names bytes that can be loaded and the three-byte test alone decides, with no test for an
// empty entry on the way from the table to the candidate. That gives the same items as an empty
// entry: position 0's own slot is written at position 0, before any other position reads it,
// and a position whose three bytes equal those at 0 hashes to that slot, so through any other
// slot position 0 fails the three-byte test.
template <Entries E>
VRAX_ALWAYS_INLINE inline OffsetLookup look_offset(const std::uint8_t* in,
                                                   const std::uint32_t* table, std::uint32_t slot,
                                                   std::uint32_t i) {
    const std::uint32_t q = table[slot];
    const std::uint64_t x = load64(in + i) ^ load64(in + q);
    // The three-byte test and the distance test are combined without branches, so that one
    // branch decides the item: both outcomes follow the data, and a second mispredicted branch
    // would cost more.
    const std::uint32_t d = i - q;  // wraps for an entry after i
    // Both tests shift out the bits that a distance up to MAX_OFFSET uses, leaving at most 20
    // bits: below bit 24, so a far entry always fails the three-byte test.
    static_assert(MAX_OFFSET == (1u << 12) - 1);
    std::uint64_t far;
    if constexpr (E == Entries::earlier) {
        // d is at least 1, so it is at most 4095 exactly when its bits above 11 are 0: one
        // shift where a compare takes three instructions.
        far = d >> 12;
    } else {
        // d - 1 and d are both below 4096 exactly when 1 ≤ d ≤ 4095 (d - 1 wraps for d = 0).
        far = ((d - 1) | d) >> 12;
    }
    return {slot, q, x | far};
}

// Codes the item at in[i], where at least MAX_LEN bytes remain, given its lookup `at` (the
// code_matched of compress_items, `slots` giving the slots ahead). The table's slot then holds i
// whatever the outcome. The candidate is usable when it lies 1 to 4095 bytes back and its first
// three bytes agree; the copy then takes every agreeing byte up to MAX_LEN.
template <std::uint32_t MAX_LEN, std::uint32_t BIAS, Entries E, class Slots, class Next>
VRAX_ALWAYS_INLINE inline std::uint32_t code_offset_item(const std::uint8_t* in,
                                                         std::uint32_t* table, const Slots& slots,
                                                         std::uint32_t i, OffsetLookup& at,
                                                         auto& op, Next) {
    static_assert(MAX_LEN == 16 || MAX_LEN == 18);
    const std::uint8_t* const p = in + i;
    table[at.slot] = i;
    OffsetLookup after_literal{};
    if constexpr (Next::value)
        after_literal = look_offset<E>(in, table, slots.slot(i + 1), i + 1);
    if ((at.test & 0xFFFFFF) == 0) {
        // The test passed, so the entry lies before i.
        const std::uint32_t offset = i - at.entry;
        const std::uint32_t len = match_length_after<MAX_LEN>(at.test, p, in + at.entry);
        VRAX_ASSUME(len >= 3);  // the three-byte test passed
        if constexpr (Next::value)
            at = look_offset<E>(in, table, slots.slot(i + len), i + len);
        return emit_copy(op, p, offset, len - BIAS, len);
    }
    if constexpr (Next::value) at = after_literal;
    return emit_literal(op, p);
}

// Decoder side, for decode_items: the length is the length code + BIAS, so at most 15 + BIAS bytes,
// which bounds the wide copy too. An offset of 0 or one reaching before the output's start names
// no byte and makes the block malformed; offset - 1 wraps for 0, so one test catches both.
//
// The test runs against `reach`, the output length at an earlier copy: an offset that passes it
// passes against the current length too, so the output length is only worked out (and `reach`
// raised) when an offset goes beyond it. Once 4095 bytes are out, that happens only for offset 0.
// A wide copy from 16 or more bytes back, the common case, makes the reach test and the distance
// test in one compare (far_limit).
template <std::uint32_t BIAS>
struct OffsetCopyItems {
    static constexpr std::uint32_t LENGTH_BIAS = BIAS;
    static constexpr bool PLAIN_LITERALS = true;

    std::uint32_t reach = 0;
    // reach - 15, or 0 while reach is below 15: offset - 16 < far_limit exactly when
    // 16 ≤ offset ≤ reach (offset - 16 wraps below 16).
    std::uint32_t far_limit = 0;

    void literal(std::uint8_t*, std::uint8_t*, std::uint8_t) {}

    template <bool WIDE>
    bool copy(std::uint8_t* out, std::uint8_t* op, std::uint32_t offset, std::uint32_t len) {
        static_assert(FAR_COPY_OFFSET == 16);
        // One compare and branch fewer than testing reach and distance apart: VRAX1-A 4 to 8%
        // faster in same-binary runs, VRAX1 -2 to +4%.
        if (WIDE && offset - 16 < far_limit) [[likely]] {
            copy_far_wide<15 + BIAS>(op, op - offset);
            return true;
        }
        if (offset - 1 >= reach) {
            reach = std::uint32_t(op - out);
            far_limit = reach >= 15 ? reach - 15 : 0;
            if (offset - 1 >= reach) return false;
        }
        copy_item_bytes<WIDE, 15 + BIAS>(op, op - offset, len);
        return true;
    }
};

}  // namespace vrax
