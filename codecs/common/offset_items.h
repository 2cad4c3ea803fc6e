// Items of the two offset coders, VRAX1 and VRAX1-A: a copy names the distance back to its source
// (1 to 4095), found through a single-probe hash table of positions. They differ only in the
// copy lengths (3 to 16 or 3 to 18) and in the life of the table, which the caller owns.
#pragma once

#include <algorithm>
#include <cstdint>

#include "bytes.h"
#include "copy.h"
#include "hash3.h"
#include "item_stream.h"

namespace vrax {

inline constexpr std::uint32_t MAX_OFFSET = 4095;

// Codes the item at in[i], where at least MAX_LEN bytes remain: one probe of `table` (4096
// entries, each 0 for empty or a position + 1, so that zero-filled memory reads as empty), which
// then holds i whatever the outcome. The candidate is usable when it lies 1 to 4095 bytes back
// and its first three bytes agree; the copy then takes every agreeing byte up to MAX_LEN.
// An entry at or after i (left by an earlier call) wraps the distance and fails the test.
template <std::uint32_t MAX_LEN, std::uint32_t BIAS>
inline std::uint32_t code_offset_item(const std::uint8_t* in, std::uint32_t* table,
                                      std::uint32_t i, std::uint8_t*& op) {
    static_assert(MAX_LEN == 16 || MAX_LEN == 18);
    const std::uint8_t* const p = in + i;
    const std::uint32_t slot = hash3_slot(p);
    const std::uint32_t entry = table[slot];
    table[slot] = i + 1;
    const std::uint32_t offset = i + 1 - entry;
    // One branch decides the item. Usable means 1 to 4095 bytes back and not before the input's
    // start: an empty entry (0) gives offset - 1 = i and a later one wraps, so both fail. That
    // and the three-byte test are worked out without branches (an unusable candidate compares p
    // with itself), because both outcomes follow the data and a mispredicted branch costs more
    // than the few instructions.
    const std::uint32_t usable = offset - 1 < std::min(i, MAX_OFFSET);
    const std::uint32_t mask = 0u - usable;
    const std::uint8_t* const q = p - (offset & mask);
    const std::uint32_t differ = ((load32(p) ^ load32(q)) & 0xFFFFFF) | (usable ^ 1);
    if (differ == 0) {
        const std::uint32_t len = MAX_LEN == 18 ? match_length_18(p, q) : match_length_16(p, q);
        return emit_copy(op, offset, len - BIAS, len);
    }
    return emit_literal(op, *p);
}

// Decoder side, for decode_items: the length is the length code + BIAS. An offset of 0 or one
// reaching before the output's start names no byte and makes the block malformed.
template <std::uint32_t BIAS>
struct OffsetCopyItems {
    static constexpr std::uint32_t LENGTH_BIAS = BIAS;
    static constexpr bool PLAIN_LITERALS = true;

    void literal(std::uint8_t*, std::uint8_t*) {}

    template <bool WIDE>
    bool copy(std::uint8_t* out, std::uint8_t* op, std::uint32_t offset, std::uint32_t len) {
        if (offset == 0 || offset > std::size_t(op - out)) [[unlikely]]
            return false;
        if constexpr (WIDE)
            copy_forward_wide(op, op - offset, len);
        else
            copy_forward_exact(op, op - offset, len);
        return true;
    }
};

}  // namespace vrax
