// The fill string of VRAX2, VRAX3 and VRAX3-A, and their table entries that may name it: 32-bit
// byte positions in the current block, with one reserved value for the fill string, so a
// 4096-entry table fits in 16 KiB on any machine.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bytes.h"
#include "copy.h"

namespace vrax {

// The text that VRAX2, VRAX3 and VRAX3-A put in every table entry before coding a block. A copy
// item may take up to 18 bytes from it, so its content is part of those codecs' format.
inline constexpr char FILL_STRING[] = "123456789012345678";
inline constexpr std::size_t FILL_STRING_LENGTH = sizeof FILL_STRING - 1;
static_assert(FILL_STRING_LENGTH == MAX_ITEM_COPY, "a copy from the fill string stays inside it");

// The entry that names FILL_STRING. No block position can take it: blocks are shorter than 4 GiB.
inline constexpr std::uint32_t FILL_POSITION = 0xFFFFFFFFu;

// FILL_STRING with zero padding behind it, so that word-wide comparisons (18 bytes) and wide
// copies (WIDE_COPY_MAX bytes) read inside the array. Only its first 18 bytes ever match input.
inline constexpr std::size_t FILL_STRING_PADDED_SIZE = 64;
static_assert(WIDE_COPY_MAX <= FILL_STRING_PADDED_SIZE);
alignas(64) inline constexpr std::array<std::uint8_t, FILL_STRING_PADDED_SIZE> FILL_STRING_PADDED =
    [] {
        std::array<std::uint8_t, FILL_STRING_PADDED_SIZE> padded{};
        for (std::size_t k = 0; k < FILL_STRING_LENGTH; ++k)
            padded[k] = std::uint8_t(FILL_STRING[k]);
        return padded;
    }();

// The position that the slot compressors (VRAX3, VRAX3-A) let stand for the fill string in their
// tables: in_size - LOOKAHEAD, whose bytes can be loaded and which no lookup finds in the table
// otherwise, since every entry a lookup sees lies before the item, which starts at
// in_size - LOOKAHEAD at most. So a candidate's address needs no test, and only an item that meets
// the stand-in compares the fill string itself. A shorter block looks nothing up.
inline std::uint32_t fill_stand_in(std::uint32_t in_size) {
    return in_size >= LOOKAHEAD ? in_size - LOOKAHEAD : 0;
}

// What an item at p compares with, given the entry of its lookup, `fill` (its block's
// fill_stand_in) and `loaded`, the eight bytes that the lookup loaded at the entry: the
// candidate's bytes, and the XOR of the item's first eight bytes with them. Only an entry at the
// stand-in loads again, from the fill string.
struct Candidate {
    const std::uint8_t* bytes;
    std::uint64_t x;
};
inline Candidate candidate_of(const std::uint8_t* in, const std::uint8_t* p, std::uint32_t entry,
                              std::uint64_t loaded, std::uint32_t fill) {
    if (entry == fill) [[unlikely]]
        return {FILL_STRING_PADDED.data(), load64(p) ^ load64(FILL_STRING_PADDED.data())};
    return {in + entry, load64(p) ^ loaded};
}

// Carries out a copy item of len bytes at op from what a table entry names: FILL_STRING, or the
// position `entry` of the output that starts at out. False when that position is not before op,
// so names no byte written yet. WIDE: may write WIDE_COPY_MAX bytes from op. FILL_POSITION lies
// above every output position, so one test sets apart both the fill string and a bad entry from
// the common case. A wide copy from FAR_COPY_OFFSET or more bytes back, the most common case of
// all, takes one test in all: entry + FAR_COPY_OFFSET ≤ op - out holds for no entry at or above
// the output position.
template <bool WIDE>
inline bool copy_from_entry(std::uint8_t* out, std::uint8_t* op, std::uint32_t entry,
                            std::uint32_t len) {
    if (WIDE && std::size_t(entry) + FAR_COPY_OFFSET <= std::size_t(op - out)) [[likely]] {
        copy_far_wide<MAX_ITEM_COPY>(op, out + entry);
        return true;
    }
    if (entry >= std::size_t(op - out)) [[unlikely]] {
        if (entry != FILL_POSITION) return false;
        std::memcpy(op, FILL_STRING_PADDED.data(), WIDE ? WIDE_COPY_MAX : len);
        return true;
    }
    copy_item_bytes<WIDE>(op, out + entry, len);
    return true;
}

}  // namespace vrax
