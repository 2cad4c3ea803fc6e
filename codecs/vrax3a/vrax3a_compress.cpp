// VRAX3-A compressor: at each position that may start a copy, the longest of the eight candidates
// in the set of its three bytes, the lowest way winning ties.
#include <cstdint>

#include "bytes.h"
#include "entry.h"
#include "fill_string.h"
#include "item_stream.h"
#include "slot_table.h"
#include "vrax3a.h"
#include "vrax3a_internal.h"

CodecStatus vrax3a_compress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                            std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    using vrax3a::WaySets;
    if (out_cap < item_stream_bound(in_size)) [[unlikely]]
        return destination_too_small(result);
    WaySets table{aligned_work_memory<std::uint32_t>(work_memory)};
    fill_slot_table(table.slots);
    PendingInsertions<WaySets> pending;

    // Matched items start at i ≤ in_size - 18, so p[0..17] is input; a candidate is an earlier
    // position (its 18 bytes end before in_size) or the padded fill string.
    auto code_matched = [&](std::uint32_t i, std::uint8_t*& op)
                            __attribute__((always_inline)) -> std::uint32_t {
        const std::uint8_t* const p = in + i;
        const std::uint32_t first = WaySets::key(p);
        const std::uint32_t* const ways = table.slots + first;
        std::uint32_t best_len = 0;
        std::uint32_t best_way = 0;
        for (std::uint32_t w = 0; w < vrax3a::WAYS; ++w) {
            const std::uint8_t* const candidate = entry_bytes(in, ways[w]);
            // Differing at the best length so far, it cannot be strictly longer: skip it.
            if (candidate[best_len] != p[best_len]) continue;
            const std::uint32_t len = match_length_18(p, candidate);
            if (len > best_len) {  // strictly longer: of equal lengths the lowest way stays
                best_len = len;
                best_way = w;
                if (len == vrax3a::MAX_LENGTH) break;  // no later way can beat it
            }
        }
        // All eight lookups are done; only now may this item insert anything.
        if (best_len >= vrax3a::LENGTH_BIAS) {
            pending.copy(table, i, first);
            return emit_copy(op, first + best_way, best_len - vrax3a::LENGTH_BIAS, best_len);
        }
        pending.literal(table, i, first);
        return emit_literal(op, *p);
    };
    result->length = compress_items<vrax3a::LOOKAHEAD, SpareBits::one>(in, in_size, out, code_matched);
    return CodecStatus::ok;
}
