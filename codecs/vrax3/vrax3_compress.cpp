// VRAX3 compressor: one probe per position that may start a copy; the copy names the slot.
#include <algorithm>
#include <cstdint>

#include "bytes.h"
#include "compiler.h"
#include "entry.h"
#include "fill_string.h"
#include "item_stream.h"
#include "slot_table.h"
#include "slot_window.h"
#include "vrax3.h"
#include "vrax3_internal.h"
#include "work_memory.h"

namespace {

// The decompressor's table, and behind its 4096 slots a scratch slot that no lookup reads, so
// that PendingInsertions makes every insertion without asking whether it is due
// (vrax3::WORK_SIZE leaves room for it).
struct SlotsWithScratch : vrax3::DirectSlots {
    static constexpr std::uint32_t SCRATCH_KEY = vrax::TABLE_ENTRIES;
};

}  // namespace

CodecStatus vrax3_compress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                           std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (out_cap < item_stream_bound(in_size)) [[unlikely]]
        return destination_too_small(result);
    SlotsWithScratch table{{aligned_work_memory<std::uint32_t>(work_memory)}};
    // The fill string's entry is its stand-in position (fill_stand_in): the candidate's address
    // needs no test, and only an item whose entry is that position compares the fill string.
    const std::uint32_t fill = fill_stand_in(in_size);
    std::fill_n(table.slots, TABLE_ENTRIES, fill);
    PendingInsertions<SlotsWithScratch> pending;
    SlotWindow<> slots(in, in_size, LOOKAHEAD);

    // What an item decides on: its slot, the slot's entry and the first eight bytes there.
    struct Lookup {
        std::uint32_t slot;
        std::uint32_t entry;
        std::uint64_t bytes;
    };
    auto look = [&](std::uint32_t i) VRAX_ALWAYS_INLINE {
        const std::uint32_t slot = slots.slot(i);
        const std::uint32_t entry = table.entry(slot);
        return Lookup{slot, entry, load64(in + entry)};
    };

    // Matched items start at i ≤ in_size - 18, so p[0..17] is input, and so is the candidate: an
    // earlier position (its 18 bytes end before in_size) or the fill string's stand-in.
    auto code_matched = [&](std::uint32_t i, Lookup& at, auto& op, auto next)
                            VRAX_ALWAYS_INLINE -> std::uint32_t {
        const std::uint8_t* const p = in + i;
        const std::uint32_t slot = at.slot;
        const auto [candidate, x] = candidate_of(in, p, at.entry, at.bytes, fill);
        pending.enter_due(table, i);
        Lookup after_literal{};
        if constexpr (next) after_literal = look(i + 1);
        if ((x & 0xFFFFFF) == 0) {
            const std::uint32_t len = match_length_after<MAX_ITEM_COPY>(x, p, candidate);
            VRAX_ASSUME(len >= 3);  // the three-byte test passed
            pending.copy_rest(table, i, slot);
            if constexpr (next) at = look(i + len);
            return emit_copy(op, p, slot, len - LENGTH_BIAS, len);
        }
        pending.literal_rest(slot);
        if constexpr (next) at = after_literal;
        return emit_literal(op, p);
    };
    result->length =
        compress_items<LOOKAHEAD, SpareBits::one>(in, in_size, out, look, code_matched, slots);
    return CodecStatus::ok;
}
