// VRAX1 compressor: one hash probe per position that may start a copy, with a table that starts
// empty in every call.
#include <cstdint>
#include <cstring>

#include "bytes.h"
#include "entry.h"
#include "hash3.h"
#include "item_stream.h"
#include "vrax1.h"
#include "vrax1_internal.h"

CodecStatus vrax1_compress(void*, const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                           std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (out_cap < item_stream_bound(in_size)) [[unlikely]]
        return destination_too_small(result);
    // Entries hold a position + 1, so that the cleared table reads as empty. 16 KiB of stack,
    // cleared once per call: no state survives to the next call.
    std::uint32_t table[vrax1::TABLE_ENTRIES];
    std::memset(table, 0, sizeof table);

    // Called only where at least LOOKAHEAD bytes remain, so p[0 .. 15] are readable.
    auto code_matched = [&](std::uint32_t i, std::uint8_t*& op) -> std::uint32_t {
        const std::uint8_t* const p = in + i;
        const std::uint32_t slot = hash3_slot(p);
        const std::uint32_t entry = table[slot];
        table[slot] = i + 1;
        // Distance back to the candidate; an empty entry gives i + 1, caught by entry != 0.
        const std::uint32_t offset = i + 1 - entry;
        if (entry != 0 && offset - 1 < vrax1::MAX_OFFSET) {
            const std::uint8_t* const q = p - offset;
            if (((load32(p) ^ load32(q)) & 0xFFFFFF) == 0) {
                const std::uint32_t len = match_length_16(p, q);
                return emit_copy(op, offset, len - vrax1::LENGTH_BIAS, len);
            }
        }
        return emit_literal(op, *p);
    };
    result->length =
        compress_items<vrax1::LOOKAHEAD, SpareBits::zero>(in, in_size, out, code_matched);
    return CodecStatus::ok;
}
