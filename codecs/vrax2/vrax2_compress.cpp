// VRAX2 compressor: one hash probe per item that may start a copy.
#include <cstdint>
#include <limits>

#include "bytes.h"
#include "compiler.h"
#include "entry.h"
#include "fill_string.h"
#include "item_stream.h"
#include "slot_window.h"
#include "vrax2.h"
#include "vrax2_internal.h"

namespace {

using namespace vrax;

// The table: for each hash slot, the last matched item whose first three bytes hashed there, as
// its position and its "expiry", the item count at which its phrase number is taken again
// (its own count + 4096; the number is the count modulo 4096).
//
// A copy names the phrase number of the item in its slot, and the decoder takes the source from
// the last item that took that number. While the number has not been taken again, that is the
// slot's item itself. Once it has, the number belongs to a newer item, which hashed to another
// slot (in this one it would have replaced the item), so its first three bytes differ from
// those of every item that looks this slot up: the item is a literal whatever the bytes. So an
// expired entry simply fails the test, and no table from numbers to positions is needed, which
// takes one load off the chain from one item to the next (same-binary runs: 1 to 6% faster than
// with the two tables over both sets). Every slot starts as if an item had taken number 0 just
// before the block: the block's first item compares with the fill string, which is what number 0
// names until that item takes it, and the slot expires right after.
//
// Count holds item counts and expiries, which reach the number of items + 4096: 32 bits for
// blocks below 2 GiB, where the difference of the two keeps its sign in the top bit, 64 for
// larger ones.
template <class Count>
std::uint32_t compress_block(const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out) {
    struct Entry {
        std::uint32_t position;
        Count expiry;
    };
    Entry table[TABLE_ENTRIES];
    // Never-written slots name an expired position whose bytes load: the first item reads the
    // fill string instead (look).
    for (Entry& e : table) e = {0, 0};
    Count count = 0;  // the matched items coded so far: the count of the next one
    SlotWindow<> slots(in, in_size, LOOKAHEAD);

    // What an item decides on: its slot, that slot's entry and the candidate's first eight bytes.
    struct Lookup {
        std::uint32_t slot;
        Count expiry;
        std::uint32_t position;
        std::uint64_t bytes;
    };
    // The lookup of an item after the first, made after every table write of the items before
    // it.
    auto look_after = [&](std::uint32_t i) VRAX_ALWAYS_INLINE {
        const std::uint32_t slot = slots.slot(i);
        const Entry e = table[slot];
        return Lookup{slot, e.expiry, e.position, load64(in + e.position)};
    };
    auto look = [&](std::uint32_t i) VRAX_ALWAYS_INLINE {
        Lookup at = look_after(i);
        if (i == 0) [[unlikely]] at.bytes = load64(FILL_STRING_PADDED.data());
        return at;
    };

    // A matched item (i + 18 ≤ in_size), so p[0..17] is input, and so is the candidate, an
    // earlier position, or the fill string (padded) for the first item.
    auto code_matched = [&](std::uint32_t i, Lookup& at, auto& op, auto next)
                            VRAX_ALWAYS_INLINE -> std::uint32_t {
        const std::uint8_t* const p = in + i;
        // An expired entry sets bit 0: its expiry lies below the count, and the difference's top
        // bit is set.
        const std::uint64_t expired = (at.expiry - count) >> (8 * sizeof(Count) - 1);
        const std::uint64_t x = (load64(p) ^ at.bytes) | expired;
        table[at.slot] = {i, count + TABLE_ENTRIES};
        ++count;
        Lookup after_literal{};
        if constexpr (next) after_literal = look_after(i + 1);
        if ((x & 0xFFFFFF) == 0) {
            const std::uint8_t* const candidate =
                i == 0 ? FILL_STRING_PADDED.data() : in + at.position;
            const std::uint32_t len = match_length_after<MAX_ITEM_COPY>(x, p, candidate);
            VRAX_ASSUME(len >= 3);  // the three-byte test passed
            const auto number = std::uint32_t(at.expiry & vrax2::PHRASE_MASK);
            if constexpr (next) at = look_after(i + len);
            return emit_copy(op, p, number, len - LENGTH_BIAS, len);
        }
        if constexpr (next) at = after_literal;
        return emit_literal(op, p);
    };
    return compress_items<LOOKAHEAD, SpareBits::one>(in, in_size, out, look, code_matched, slots);
}

}  // namespace

CodecStatus vrax2_compress(void*, const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                           std::uint32_t out_cap, CodecResult* result) {
    if (out_cap < item_stream_bound(in_size)) [[unlikely]]
        return destination_too_small(result);
    constexpr std::uint32_t COUNT32_LIMIT = std::uint32_t(std::numeric_limits<std::int32_t>::max());
    result->length = in_size <= COUNT32_LIMIT ? compress_block<std::uint32_t>(in, in_size, out)
                                              : compress_block<std::uint64_t>(in, in_size, out);
    return CodecStatus::ok;
}
