// VRAX1-A compressor: one hash probe per position that may start a copy, with a table that
// survives from one call to the next.
#include <algorithm>
#include <cstdint>

#include "compiler.h"
#include "entry.h"
#include "item_stream.h"
#include "offset_items.h"
#include "slot_window.h"
#include "vrax1a.h"
#include "vrax1a_internal.h"
#include "work_memory.h"

CodecStatus vrax1a_compress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                            std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (out_cap < item_stream_bound(in_size)) [[unlikely]]
        return destination_too_small(result);
    // Positions. The zero-filled memory of a new run reads as position 0 everywhere, which gives
    // the items of an empty table (see look_offset). An entry left by an earlier call is an
    // offset into the same source buffer and is used just like one from this call.
    std::uint32_t* const table = aligned_work_memory<std::uint32_t>(work_memory);
    SlotWindow<> slots(in, in_size, LOOKAHEAD);

    // Entries left by a longer block may lie past this block's last eight bytes, where no load may
    // go. Every item that reads the table lies before in_size - 8, so such an entry fails the
    // distance test of every item, and in_size - 8 fails it the same way: each is parked there for
    // the call, and no candidate's load needs a clamp. No item writes in_size - 8, so an entry that
    // still holds it at the end gets its own value back, for the blocks after this one. Nearly
    // always none is parked (the last block of a file is the usual exception).
    const std::uint32_t last = in_size - 8;
    const bool park = in_size >= LOOKAHEAD &&
                      std::any_of(table, table + TABLE_ENTRIES,
                                  [&](std::uint32_t q) { return q > last; });
    std::uint32_t parked[TABLE_ENTRIES];
    if (park) {
        for (std::uint32_t s = 0; s < TABLE_ENTRIES; ++s) {
            parked[s] = table[s];
            table[s] = std::min(table[s], last);
        }
    }
    auto look = [&](std::uint32_t i) VRAX_ALWAYS_INLINE {
        return look_offset<Entries::inside>(in, table, slots.slot(i), i);
    };
    auto code_matched = [&](std::uint32_t i, OffsetLookup& at, auto& op, auto next)
                            VRAX_ALWAYS_INLINE {
        return code_offset_item<MAX_ITEM_COPY, LENGTH_BIAS, Entries::inside>(in, table, slots, i,
                                                                             at, op, next);
    };
    result->length =
        compress_items<LOOKAHEAD, SpareBits::one>(in, in_size, out, look, code_matched, slots);
    if (park) {
        for (std::uint32_t s = 0; s < TABLE_ENTRIES; ++s)
            if (table[s] == last) table[s] = parked[s];
    }
    return CodecStatus::ok;
}
