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
    SlotWindow slots(in, in_size, LOOKAHEAD);

    // Entries left by a longer block may lie past this one's end, and then every candidate's
    // load is held inside the input. Nearly always none does, and the loads need no clamp. With
    // fewer than LOOKAHEAD bytes no item reads the table, so either way serves.
    const bool all_inside =
        in_size < LOOKAHEAD || std::all_of(table, table + TABLE_ENTRIES,
                                           [&](std::uint32_t q) { return q <= in_size - 8; });
    auto code = [&]<Entries E>() {
        auto look = [&](std::uint32_t i) VRAX_ALWAYS_INLINE {
            return look_offset<E>(in, in_size, table, slots.slot(i), i);
        };
        auto code_matched = [&](std::uint32_t i, OffsetLookup& at, auto& op, auto next)
                                VRAX_ALWAYS_INLINE {
            return code_offset_item<MAX_ITEM_COPY, LENGTH_BIAS, E>(in, in_size, table, slots, i,
                                                                   at, op, next);
        };
        return compress_items<LOOKAHEAD, SpareBits::one>(in, in_size, out, look, code_matched,
                                                         slots);
    };
    result->length =
        all_inside ? code.template operator()<Entries::inside>()
                   : code.template operator()<Entries::anywhere>();
    return CodecStatus::ok;
}
