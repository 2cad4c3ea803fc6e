// VRAX3 compressor: one probe per position that may start a copy; the copy names the slot.
#include <cstdint>

#include "bytes.h"
#include "compiler.h"
#include "entry.h"
#include "fill_string.h"
#include "hash3.h"
#include "item_stream.h"
#include "slot_table.h"
#include "tagged_position.h"
#include "vrax3.h"
#include "vrax3_internal.h"
#include "work_memory.h"

namespace {

// The compressor's own form of the table: the same positions in the same slots as the
// decompressor's, each with the tag of its three bytes above it (see tagged_position.h), so that
// most literals are decided from the slot alone. PendingInsertions keeps a key per position
// (TaggedPositions::key).
class TaggedSlots {
public:
    TaggedSlots(std::uint32_t* slots, std::uint32_t in_size) : slots_(slots), tags_(in_size) {
        vrax::fill_slot_table(slots_);
    }

    std::uint32_t entry(std::uint32_t slot) const { return slots_[slot]; }
    void insert(std::uint32_t key, std::uint32_t position) {
        using vrax::TaggedPositions;
        slots_[TaggedPositions::slot_of(key)] = TaggedPositions::entry(key, position);
    }

    const vrax::TaggedPositions& tags() const { return tags_; }

private:
    std::uint32_t* slots_;
    vrax::TaggedPositions tags_;
};

}  // namespace

CodecStatus vrax3_compress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                           std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (out_cap < item_stream_bound(in_size)) [[unlikely]]
        return destination_too_small(result);
    TaggedSlots table(aligned_work_memory<std::uint32_t>(work_memory), in_size);
    const TaggedPositions tags = table.tags();
    PendingInsertions<TaggedSlots> pending;

    // Matched items start at i ≤ in_size - 18, so p[0..17] is input; the candidate is an earlier
    // position (its 18 bytes end before in_size) or the padded fill string.
    auto code_matched = [&](std::uint32_t i, std::uint8_t*& op)
                            VRAX_ALWAYS_INLINE -> std::uint32_t {
        const std::uint8_t* const p = in + i;
        const std::uint32_t slot = hash3_slot(p);
        const std::uint32_t tag = tags.tag(p);
        const std::uint32_t key = TaggedPositions::key(slot, tag);
        const std::uint32_t entry = table.entry(slot);
        if (tags.may_match(entry, tag)) {
            const std::uint32_t len = match_length_18(p, tags.bytes(in, entry));
            if (len >= LENGTH_BIAS) {
                pending.copy(table, i, key);
                return emit_copy(op, slot, len - LENGTH_BIAS, len);
            }
        }
        pending.literal(table, i, key);
        return emit_literal(op, *p);
    };
    result->length = compress_items<LOOKAHEAD, SpareBits::one>(in, in_size, out, code_matched);
    return CodecStatus::ok;
}
