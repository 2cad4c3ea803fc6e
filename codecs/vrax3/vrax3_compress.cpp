// VRAX3 compressor: one probe per position that may start a copy; the copy names the slot.
#include <cstdint>

#include "bytes.h"
#include "entry.h"
#include "fill_string.h"
#include "item_stream.h"
#include "slot_table.h"
#include "vrax3.h"
#include "vrax3_internal.h"

CodecStatus vrax3_compress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                           std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    using vrax3::DirectSlots;
    if (out_cap < item_stream_bound(in_size)) [[unlikely]]
        return destination_too_small(result);
    DirectSlots table{aligned_work_memory<std::uint32_t>(work_memory)};
    fill_slot_table(table.slots);
    PendingInsertions<DirectSlots> pending;

    // Matched items start at i ≤ in_size - 18, so p[0..17] is input; the candidate is an earlier
    // position (its 18 bytes end before in_size) or the padded fill string.
    auto code_matched = [&](std::uint32_t i, std::uint8_t*& op)
                            __attribute__((always_inline)) -> std::uint32_t {
        const std::uint8_t* const p = in + i;
        const std::uint32_t slot = DirectSlots::key(p);
        const std::uint32_t len = match_length_18(p, entry_bytes(in, table.entry(slot)));
        if (len >= vrax3::LENGTH_BIAS) {
            pending.copy(table, i, slot);
            return emit_copy(op, slot, len - vrax3::LENGTH_BIAS, len);
        }
        pending.literal(table, i, slot);
        return emit_literal(op, *p);
    };
    result->length = compress_items<vrax3::LOOKAHEAD, SpareBits::one>(in, in_size, out, code_matched);
    return CodecStatus::ok;
}
