// VRAX2 compressor: one hash probe and one phrase-table read per item that may start a copy.
#include <cstdint>
#include <cstring>

#include "bytes.h"
#include "compiler.h"
#include "entry.h"
#include "fill_string.h"
#include "item_stream.h"
#include "slot_window.h"
#include "vrax2.h"
#include "vrax2_internal.h"
#include "work_memory.h"

CodecStatus vrax2_compress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                           std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (out_cap < item_stream_bound(in_size)) [[unlikely]]
        return destination_too_small(result);

    // Hash slot -> the phrase number of the last item whose first three bytes hashed there.
    // Phrase number -> start position in `in` of the item that last took it, or the fill string's
    // stand-in position (fill_stand_in), so that every entry names bytes that load without a test.
    // Every slot starts at phrase 0 and phrase 0 starts as the fill string, so the first item of a
    // block is compared with the fill string; no other entry is read before an item writes it.
    std::uint16_t* const hash = aligned_work_memory<std::uint16_t>(work_memory);
    std::uint32_t* const phrase = reinterpret_cast<std::uint32_t*>(hash + TABLE_ENTRIES);
    std::memset(hash, 0, vrax2::HASH_TABLE_BYTES);
    const std::uint32_t fill = fill_stand_in(in_size);
    phrase[0] = fill;
    std::uint32_t k = 0;  // the number the next matched item takes
    SlotWindow<> slots(in, in_size, LOOKAHEAD);

    // What an item decides on: its slot, the slot's phrase number, that phrase's position and
    // the first eight bytes there.
    struct Lookup {
        std::uint32_t slot;
        std::uint32_t number;
        std::uint32_t entry;
        std::uint64_t bytes;
    };
    auto look = [&](std::uint32_t i) VRAX_ALWAYS_INLINE {
        const std::uint32_t slot = slots.slot(i);
        const std::uint32_t number = hash[slot];
        const std::uint32_t entry = phrase[number];
        return Lookup{slot, number, entry, load64(in + entry)};
    };

    // A matched item (i + 18 ≤ in_size), so p[0..17] is input, and so is the candidate: an
    // earlier position or the stand-in. Its lookup was made before either table is written for
    // it: when the slot names k itself, the candidate is where k started 4096 items ago.
    auto code_matched = [&](std::uint32_t i, Lookup& at, auto& op, auto next)
                            VRAX_ALWAYS_INLINE -> std::uint32_t {
        const std::uint8_t* const p = in + i;
        const auto [candidate, x] = candidate_of(in, p, at.entry, at.bytes, fill);
        hash[at.slot] = std::uint16_t(k);
        phrase[k] = i;
        k = (k + 1) & vrax2::PHRASE_MASK;
        Lookup after_literal{};
        if constexpr (next) after_literal = look(i + 1);
        if ((x & 0xFFFFFF) == 0) {
            const std::uint32_t len = match_length_after<MAX_ITEM_COPY>(x, p, candidate);
            VRAX_ASSUME(len >= 3);  // the three-byte test passed
            const std::uint32_t number = at.number;
            if constexpr (next) at = look(i + len);
            return emit_copy(op, p, number, len - LENGTH_BIAS, len);
        }
        if constexpr (next) at = after_literal;
        return emit_literal(op, p);
    };
    result->length =
        compress_items<LOOKAHEAD, SpareBits::one>(in, in_size, out, look, code_matched, slots);
    return CodecStatus::ok;
}
