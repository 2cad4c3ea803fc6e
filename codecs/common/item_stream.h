// The item stream that the control-word codecs (VRAX1, VRAX1-A, VRAX2, VRAX3, VRAX3-A) share:
// control words, the 16-item groups and the overrun rule, for both directions. A codec supplies
// only how one item is chosen (compressor) or how a copy item is carried out (decompressor).
//
// Coded body: item groups, each a 16-bit little-endian control word followed by the items that it
// describes, bit 0 first (1 = copy item of 2 bytes, 0 = literal item of 1 byte). Every word but
// the last describes 16 items; a body never ends with a word that describes no item.
// Copy item: byte 0 = (N >> 8) << 4 | length code, byte 1 = N & 0xFF, N a 12-bit number whose
// meaning is the codec's.
#pragma once

#include <bit>
#include <cassert>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "block.h"
#include "bytes.h"
#include "codec.h"
#include "compiler.h"
#include "copy.h"
#include "item_format.h"

namespace vrax {

// --- Items ---

// A compressor writes its items through `op`: either the output position itself, where every
// item is written as it is coded, or LiteralRuns. Both take the item's input position p.

inline std::uint32_t emit_literal(std::uint8_t*& op, const std::uint8_t* p) {
    *op++ = *p;
    return 1;
}

// Writes a copy item naming `number` (12 bits) with length code `code` (4 bits); returns `len`,
// the input bytes that the copy stands for.
inline std::uint32_t emit_copy(std::uint8_t*& op, const std::uint8_t*, std::uint32_t number,
                               std::uint32_t code, std::uint32_t len) {
    assert(number < TABLE_ENTRIES && code < 16);
    op[0] = std::uint8_t((number >> 8) << 4 | code);
    op[1] = std::uint8_t(number);
    op += 2;
    return len;
}

// Literals are copied from the input as runs with one 16-byte move, instead of one byte each.
inline constexpr std::uint32_t LITERAL_RUN_WIDTH = 16;

// Items whose literals are written in runs: coding a literal writes nothing, and the run of
// literals before a copy, or before the end of a group (flush), is written with one move of
// LITERAL_RUN_WIDTH bytes. A run lies within one group of 16 items, so the move covers it, and it
// may write up to LITERAL_RUN_WIDTH bytes past the group's last item.
struct LiteralRuns {
    std::uint8_t* op;
    // Literals coded since the last write. A count, not the input position of the run, so that
    // the output position never waits on the input position, which waits on each copy's length.
    std::uint32_t literals = 0;

    // Writes the literals before input position p.
    void flush(const std::uint8_t* p) {
        std::memcpy(op, p - literals, LITERAL_RUN_WIDTH);
        op += literals;
        literals = 0;
    }
};
inline std::uint32_t emit_literal(LiteralRuns& w, const std::uint8_t*) {
    ++w.literals;
    return 1;
}
inline std::uint32_t emit_copy(LiteralRuns& w, const std::uint8_t* p, std::uint32_t number,
                               std::uint32_t code, std::uint32_t len) {
    w.flush(p);
    return emit_copy(w.op, p, number, code, len);
}

// --- Compressor envelope ---

// The bits of the last control word that describe no item: VRAX1 leaves them 0, the others 1.
enum class SpareBits { zero, one };

// How the 16 items of a group are coded. Unrolled, each item's flag bit lands at a fixed place
// and no loop branch, whose exit the data-dependent branches inside would hide from the
// predictor, is left; that suits a small per-item step. A large one (VRAX3-A's eight-way search)
// copied sixteen times would outgrow the instruction caches, so it keeps its loop.
enum class GroupLoop { unrolled, rolled };

// A coding attempt may overrun the input length by one 16-item group (32 bytes) before the test
// that abandons it; the stored form needs n + 4. So a destination of n + 32 bytes always suffices,
// and a group that starts at least 16 bytes before the overrun limit may write 16 bytes past its
// items (LiteralRuns).
inline constexpr std::uint32_t ITEM_STREAM_OVERRUN = 32;
inline constexpr std::uint64_t item_stream_bound(std::uint32_t n) {
    return std::uint64_t(n) + ITEM_STREAM_OVERRUN;
}

// Codes n bytes at `in` into one block at `out` and returns its length: the coded form, or the
// stored form when the coded one would pass n bytes (or n < 6). `out` must hold
// item_stream_bound(n) bytes.
//
// D is the look-ahead that an item needs before it may try a match (18, or 16 for VRAX1). An item
// that starts with at least D bytes left (a "matched item") is coded in two steps that the codec
// supplies:
//     Lookup look(std::uint32_t i)
// reads from the codec's tables what the item at in[i] decides on (its entry, the candidate's
// first bytes), writing nothing, and
//     std::uint32_t code_matched(std::uint32_t i, Lookup& at, auto& op, auto next)
// codes that item given `at`, a look(i) made after every table write of the items before it: it
// writes one item through op with emit_literal or emit_copy (op is the output position, or
// LiteralRuns in an unrolled group) and returns the number of input bytes covered, 1 for a
// literal, 3 or more for a copy. `next` is std::true_type when the item after this one is a
// matched item too; code_matched must then leave that item's look in `at`.
//
// Why two steps: a codec looks up i + 1 after the table writes that both outcomes make and
// before it branches on the outcome, and a literal hands that lookup on. When the branch
// was mispredicted as a copy, the work that resumes at the literal's successor then finds its
// table entry and candidate already loaded, instead of waiting for a chain of three loads.
//
// Items in the last D - 1 bytes are literals written here, without calling the codec. Mark both
// steps VRAX_ALWAYS_INLINE: they are called from up to seventeen places (the group, unrolled,
// and the tail loop), and out of line their tables and counters would live in memory.
//
// While at least 17 × D bytes remain, items come in groups of 16 with one overrun test per group
// (16 items never cover more than 16 × D bytes, so the item after the group is a matched one);
// then one item at a time. The test runs after the group, so every table write of the group
// happens even when the block is then stored; VRAX1-A's carried table depends on that.
//
// A codec that prepares work for the positions ahead (SlotWindow) passes
//     void ahead(std::uint32_t i, std::uint32_t end)
// which is told, before each group and before the items one at a time, that the matched items up
// to the next call, and the lookups that they make, are at positions in [i, end);
// end ≤ n - D + 1, and end - i ≤ 16 × D + 1.
struct NothingAhead {
    void operator()(std::uint32_t, std::uint32_t) const {}
};

template <std::uint32_t D, SpareBits SPARE, GroupLoop LOOP = GroupLoop::unrolled, class Look,
          class CodeMatched, class Ahead = NothingAhead>
std::uint32_t compress_items(const std::uint8_t* in, std::uint32_t n, std::uint8_t* out,
                             Look&& look, CodeMatched&& code_matched, Ahead&& ahead = {}) {
    constexpr std::uint32_t G = 16 * D;
    write_block_header(out, BLOCK_CODED);
    // `word` is where the pending control word goes; items follow it.
    std::uint8_t* word = out + BLOCK_HEADER_SIZE;
    std::uint8_t* op = word + 2;
    const std::uint8_t* const overrun = out + n;  // passing it means storing
    if (op > overrun) return store_block(in, n, out);

    std::uint32_t i = 0;
    // The lookup of the item at i, carried from one group to the next.
    decltype(look(i)) at{};
    if (n - i >= G + D) {
        ahead(i, i + G + 1);
        at = look(i);
    }
    std::uint32_t flags = 1;  // the last group's
    while (n - i >= G + D) {
        // The group's 16th item starts at most 15 × D bytes on and the item after it at most
        // 16 × D bytes on: each item covers at most D.
        ahead(i, i + G + 1);
        if constexpr (LOOP == GroupLoop::unrolled) {
            auto code_group = [&](auto& w) VRAX_ALWAYS_INLINE {
                std::uint32_t group_flags = 0;
                VRAX_UNROLL(16)
                for (std::uint32_t k = 0; k < 16; ++k) {
                    const std::uint32_t covered = code_matched(i, at, w, std::true_type{});
                    group_flags |= std::uint32_t(covered > 1) << k;
                    i += covered;
                }
                return group_flags;
            };
            // After a group of 16 literals, where more are likely, the literals are written in
            // runs, which takes a load, a store and an add off each and a 16-byte move onto each
            // copy: same-binary runs, random bytes 10 to 40% faster, counters 2 to 16%, text the
            // same. In every group instead, the codecs ran 3 to 6% slower.
            // It takes LITERAL_RUN_WIDTH bytes of slack after the group (of the 32 that the
            // destination has beyond the overrun limit).
            if (flags == 0 && op + LITERAL_RUN_WIDTH <= overrun) {
                LiteralRuns runs{op};
                flags = code_group(runs);
                runs.flush(in + i);
                op = runs.op;
            } else {
                flags = code_group(op);
            }
        } else {
            // One register holds both the flags and the count: sixteen ones above the flags,
            // shifted down one place per item, the item's flag taking the place of the one that
            // arrives at bit 15. The group is done when none is left above bit 15.
            flags = 0xFFFF0000u;
            do {
                const std::uint32_t covered = code_matched(i, at, op, std::true_type{});
                flags = flags >> 1 ^ std::uint32_t(covered == 1) << 15;
                i += covered;
            } while (flags > 0xFFFF);
        }
        store16(word, std::uint16_t(flags));
        word = op;
        op += 2;
        if (op > overrun) return store_block(in, n, out);
    }

    if (n - i >= D) ahead(i, n - D + 1);
    flags = 0;
    std::uint32_t k = 0;  // items that the pending word describes
    while (i < n) {
        std::uint32_t covered;
        if (n - i >= D) {
            at = look(i);
            covered = code_matched(i, at, op, std::false_type{});
        } else {
            covered = emit_literal(op, in + i);
        }
        flags |= std::uint32_t(covered > 1) << k;
        i += covered;
        if (++k == 16) {
            store16(word, std::uint16_t(flags));
            word = op;
            op += 2;
            flags = 0;
            k = 0;
        }
        if (op > overrun) return store_block(in, n, out);
    }
    if (k == 0) return std::uint32_t(word - out);  // the reserved word describes nothing: drop it
    if constexpr (SPARE == SpareBits::one) flags |= 0xFFFFu << k;
    store16(word, std::uint16_t(flags));
    return std::uint32_t(op - out);
}

// --- Decompressor envelope ---

// The decoder's fast loop decodes a whole group (control word and 16 items) with no bound test
// inside it. A group reads at most 2 + 16 × 2 bytes; it writes at most 15 full copies and then one
// wide copy that may run WIDE_COPY_MAX bytes from its start.
inline constexpr std::uint32_t FAST_GROUP_IN = 2 + 16 * 2;
inline constexpr std::uint32_t FAST_GROUP_OUT = 15 * MAX_ITEM_COPY + WIDE_COPY_MAX;
static_assert(FAST_GROUP_OUT >= 16 * MAX_ITEM_COPY, "a group must also fit when every item is exact");

// Codecs whose literals need no table work copy a run of literals with one 16-byte move: before
// each copy, and once more for the literals after the group's last copy. The last move starts at
// most 2 + 16 × 2 input bytes into the group and 16 × 18 output bytes into it, and moves 16.
inline constexpr std::uint32_t FAST_GROUP_IN_RUNS = FAST_GROUP_IN + LITERAL_RUN_WIDTH;
inline constexpr std::uint32_t FAST_GROUP_OUT_RUNS = 16 * MAX_ITEM_COPY + LITERAL_RUN_WIDTH;
static_assert(FAST_GROUP_OUT <= FAST_GROUP_OUT_RUNS, "the group's own copies fit as well");

template <class Items>
concept PlainLiterals = Items::PLAIN_LITERALS;

// What a codec's own group decoder did with a group: decoded it, left it to the item loop (no
// byte read or written, no state changed), or found it malformed.
enum class GroupDecoded { yes, no, malformed };
template <class Items>
concept GroupsOfItems = requires(Items items, const std::uint8_t* ip, std::uint8_t* op) {
    { items.group(ip, op, op) } -> std::same_as<GroupDecoded>;
};

// The number and the length of the copy item at ip, from one 16-bit load (byte 0 in the low half).
struct CopyItem {
    std::uint32_t number;
    std::uint32_t len;
};
template <std::uint32_t BIAS>
inline CopyItem read_copy_item(const std::uint8_t* ip) {
    const std::uint32_t w = load16(ip);
    return {(w & 0xF0u) << 4 | w >> 8, (w & 0xFu) + BIAS};
}

// One copy item at ip inside the fast loop; false when the codec refuses it.
template <class Items>
inline bool fast_copy(Items& items, const std::uint8_t*& ip, std::uint8_t* out, std::uint8_t*& op) {
    const auto [number, len] = read_copy_item<Items::LENGTH_BIAS>(ip);
    ip += 2;
    if (!items.template copy<true>(out, op, number, len)) [[unlikely]]
        return false;
    op += len;
    return true;
}

// Decodes the items of a coded block (is_coded_block is true) into out[0 .. out_cap - 1].
// The codec supplies `items` with:
//     static constexpr std::uint32_t LENGTH_BIAS;   copy length = length code + LENGTH_BIAS
//     static constexpr bool PLAIN_LITERALS;         (optional) literals need no call at all
//     void literal(std::uint8_t* out, std::uint8_t* op, std::uint8_t byte);
//         called after a literal `byte` was written at op (out is the start of the output)
//     template <bool WIDE> bool copy(std::uint8_t* out, std::uint8_t* op,
//                                    std::uint32_t number, std::uint32_t len);
//         carries out a copy item of len bytes at op; with WIDE it may write up to
//         WIDE_COPY_MAX bytes from op. Returns false, having written nothing, when the item
//         cannot be right (its source does not exist), which makes the block malformed.
//     GroupDecoded group(const std::uint8_t*& ip, std::uint8_t* out, std::uint8_t*& op);
//         (optional) may decode the whole group whose control word is at ip, within the
//         margins of FAST_GROUP_IN_RUNS and FAST_GROUP_OUT_RUNS, and advance ip and op past it.
// Returns CodecStatus::malformed when an item runs past the block or names no source, and
// CodecStatus::too_long when the output would pass out_cap; never reads or writes outside the
// two buffers. `items` is taken by value: a copy whose address never leaves this function keeps
// its state (a table pointer, VRAX3-A's way counter, the literal count) in registers, where a
// reference would make the compiler reload it after every table write that might alias it.
template <class Items>
CodecStatus decode_items(const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                         std::uint32_t out_cap, CodecResult* result, Items items) {
    constexpr std::uint32_t BIAS = Items::LENGTH_BIAS;
    const std::uint8_t* ip = in + BLOCK_HEADER_SIZE;
    const std::uint8_t* const in_end = in + in_size;
    std::uint8_t* op = out;
    std::uint8_t* const out_end = out + out_cap;

    // Fast loop: whole groups while both buffers have room for the worst case of a group.
    if constexpr (PlainLiterals<Items>) {
        while (std::size_t(in_end - ip) >= FAST_GROUP_IN_RUNS &&
               std::size_t(out_end - op) >= FAST_GROUP_OUT_RUNS) {
            // The set bits of the word are the group's copies. Each step takes the next one, the
            // run of literals before it (possibly empty) and the copy; a last run takes the
            // literals after the last copy. Clearing the lowest set bit leaves the word only one
            // operation per copy on the loop's dependency chain.
            //
            // Item k of the group starts at ip_base + k in the input and at op_base + k in the
            // output: a literal adds 1 to both, so the bases move only at copies (by 1 and by
            // len - 1), and a run of literals needs no length of its own.
            std::uint32_t copies = load16(ip);
            const std::uint8_t* ip_base = ip + 2;
            std::uint8_t* op_base = op;
            std::size_t next = 0;  // the item after the last copy taken
            while (copies != 0) {
                const std::size_t bit = std::size_t(std::countr_zero(copies));
                copies &= copies - 1;
                std::memcpy(op_base + next, ip_base + next, LITERAL_RUN_WIDTH);
                const auto [number, len] = read_copy_item<BIAS>(ip_base + bit);
                if (!items.template copy<true>(out, op_base + bit, number, len)) [[unlikely]]
                    return CodecStatus::malformed;
                ip_base += 1;
                op_base += len - 1;
                next = bit + 1;
            }
            std::memcpy(op_base + next, ip_base + next, LITERAL_RUN_WIDTH);
            ip = ip_base + 16;
            op = op_base + 16;
        }
    } else {
        // A codec that decodes some groups its own way (GroupsOfItems) needs the margins of the
        // literal runs.
        constexpr bool OWN_GROUPS = GroupsOfItems<Items>;
        constexpr std::uint32_t IN_MARGIN = OWN_GROUPS ? FAST_GROUP_IN_RUNS : FAST_GROUP_IN;
        constexpr std::uint32_t OUT_MARGIN = OWN_GROUPS ? FAST_GROUP_OUT_RUNS : FAST_GROUP_OUT;
        while (std::size_t(in_end - ip) >= IN_MARGIN && std::size_t(out_end - op) >= OUT_MARGIN) {
            if constexpr (OWN_GROUPS) {
                const GroupDecoded decoded = items.group(ip, out, op);
                if (decoded == GroupDecoded::malformed) [[unlikely]]
                    return CodecStatus::malformed;
                if (decoded == GroupDecoded::yes) continue;
            }
            // The sixteen items are unrolled, so each place in the group has its own branch
            // between literal and copy, which the predictor learns apart (in fixed-width data
            // place k is often a copy and place k + 1 a literal), and no loop branch is left. A
            // refused copy writes nothing and the group goes on within its margins; the block is
            // rejected at the group's end, so that no exit sits on the path of every copy. Same
            // output, VRAX3 and VRAX3-A 6 to 15% faster in same-binary runs; unrolled by 8
            // instead, both ran slower than the loop.
            const std::uint32_t word = load16(ip);
            ip += 2;
            bool refused = false;
            VRAX_UNROLL(16)
            for (std::uint32_t k = 0; k < 16; ++k) {
                if (word >> k & 1) {
                    refused |= !fast_copy(items, ip, out, op);
                } else {
                    const std::uint8_t byte = *ip++;
                    *op = byte;
                    items.literal(out, op, byte);
                    ++op;
                }
            }
            if (refused) [[unlikely]]
                return CodecStatus::malformed;
        }
    }

    // Tail loop: the rest, item by item, every bound tested. `word` holds the unused bits of the
    // current control word above a marker bit; 1 means that a new word is due.
    std::uint32_t word = 1;
    while (ip != in_end) {
        if (word == 1) {
            if (in_end - ip < 2) [[unlikely]]
                return CodecStatus::malformed;
            word = std::uint32_t(load16(ip)) | 0x10000u;
            ip += 2;
            if (ip == in_end) [[unlikely]]
                return CodecStatus::malformed;  // a word that describes nothing
        }
        if (word & 1) {
            if (in_end - ip < 2) [[unlikely]]
                return CodecStatus::malformed;
            const auto [number, len] = read_copy_item<BIAS>(ip);
            ip += 2;
            if (len > std::size_t(out_end - op)) [[unlikely]]
                return CodecStatus::too_long;
            if (!items.template copy<false>(out, op, number, len)) [[unlikely]]
                return CodecStatus::malformed;
            op += len;
        } else {
            if (op == out_end) [[unlikely]]
                return CodecStatus::too_long;
            const std::uint8_t byte = *ip++;
            *op = byte;
            items.literal(out, op, byte);
            ++op;
        }
        word >>= 1;
    }
    result->length = std::uint32_t(op - out);
    return CodecStatus::ok;
}

}  // namespace vrax
