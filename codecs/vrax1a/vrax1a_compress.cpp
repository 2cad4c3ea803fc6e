// VRAX1-A compressor: one hash probe per position that may start a copy, with a table that
// survives from one call to the next.
#include <cstdint>

#include "bytes.h"
#include "entry.h"
#include "hash3.h"
#include "item_stream.h"
#include "vrax1a.h"
#include "vrax1a_internal.h"

CodecStatus vrax1a_compress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                            std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (out_cap < item_stream_bound(in_size)) [[unlikely]]
        return destination_too_small(result);
    // Entries hold a position + 1, so that the zero-filled memory of a new run reads as empty.
    // An entry left by an earlier call is an offset into the same source buffer and is used just
    // like one from this call.
    std::uint32_t* const table = aligned_work_memory<std::uint32_t>(work_memory);

    auto code_matched = [&](std::uint32_t i, std::uint8_t*& op) -> std::uint32_t {
        const std::uint8_t* const p = in + i;
        const std::uint32_t slot = hash3_slot(p);
        const std::uint32_t entry = table[slot];
        table[slot] = i + 1;
        // Distance back to the candidate; an empty entry or one at or after p wraps or is 0.
        const std::uint32_t offset = i + 1 - entry;
        if (entry != 0 && offset - 1 < vrax1a::MAX_OFFSET) {
            const std::uint8_t* const q = p - offset;
            if (((load32(p) ^ load32(q)) & 0xFFFFFF) == 0) {
                const std::uint32_t len = match_length_18(p, q);
                return emit_copy(op, offset, len - vrax1a::LENGTH_BIAS, len);
            }
        }
        return emit_literal(op, *p);
    };
    result->length = compress_items<vrax1a::LOOKAHEAD, SpareBits::one>(in, in_size, out, code_matched);
    return CodecStatus::ok;
}
