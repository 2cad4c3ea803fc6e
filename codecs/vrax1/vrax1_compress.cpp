// VRAX1 compressor: one hash probe per position that may start a copy, with a table that starts
// anew in every call.
#include <cstdint>
#include <cstring>

#include "compiler.h"
#include "entry.h"
#include "item_format.h"
#include "item_stream.h"
#include "offset_items.h"
#include "slot_window.h"
#include "vrax1.h"
#include "vrax1_internal.h"

CodecStatus vrax1_compress(void*, const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                           std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (out_cap < item_stream_bound(in_size)) [[unlikely]]
        return destination_too_small(result);
    // The hash table: positions, every one 0 at the start (see look_offset), on the stack
    // and cleared once per call: no state survives to the next call.
    std::uint32_t table[TABLE_ENTRIES];
    std::memset(table, 0, sizeof table);
    SlotWindow<KeyIndex::based> slots(in, in_size, vrax1::LOOKAHEAD);

    // Called only where at least LOOKAHEAD bytes remain, so p[0 .. 15] are readable, and only
    // for the block's first item and the items one at a time at its end: code_matched looks up
    // the others. Every entry lies before the item that reads it, except at position 0, which
    // finds its own position and must be a literal.
    auto look = [&](std::uint32_t i) VRAX_ALWAYS_INLINE {
        OffsetLookup at = look_offset<Entries::earlier>(in, table, slots.slot(i), i);
        at.test |= i == 0;
        return at;
    };
    auto code_matched = [&](std::uint32_t i, OffsetLookup& at, auto& op, auto next)
                            VRAX_ALWAYS_INLINE {
        return code_offset_item<vrax1::MAX_COPY, vrax1::LENGTH_BIAS, Entries::earlier>(
            in, table, slots, i, at, op, next);
    };
    result->length = compress_items<vrax1::LOOKAHEAD, SpareBits::zero>(in, in_size, out, look,
                                                                       code_matched, slots);
    return CodecStatus::ok;
}
