// VRAX2 decompressor: the shared item loop, numbering every item as it goes and keeping the phrase
// table of start positions in step with the compressor's.
#include <algorithm>
#include <cstdint>

#include "block.h"
#include "copy.h"
#include "fill_string.h"
#include "item_stream.h"
#include "vrax2.h"
#include "vrax2_internal.h"
#include "work_memory.h"

namespace {

// An entry that no item of the current block has written. It is above every output position
// (the output is capped below it), so the source test of a copy rejects it like any other
// position at or after the output position.
constexpr std::uint32_t UNSET_POSITION = 0xFFFFFFFEu;
static_assert(UNSET_POSITION != vrax::FILL_POSITION);

// Copy items name a phrase number; the source is where the item that last took it started.
struct PhraseCopyItems {
    static constexpr std::uint32_t LENGTH_BIAS = vrax::LENGTH_BIAS;

    std::uint32_t* phrase;
    std::uint32_t k = 0;  // the number the next item takes

    void record(std::uint8_t* out, std::uint8_t* op) {
        phrase[k] = std::uint32_t(op - out);
        k = (k + 1) & vrax2::PHRASE_MASK;
    }

    void literal(std::uint8_t* out, std::uint8_t* op) { record(out, op); }

    // Entry `number` is read before this item records its own start, since it may name the very
    // number this item is about to take (the item 4096 before). A source that is not a position
    // before op is an unset entry (or a forged one): the block is malformed.
    template <bool WIDE>
    bool copy(std::uint8_t* out, std::uint8_t* op, std::uint32_t number, std::uint32_t len) {
        const std::uint32_t source = phrase[number];
        record(out, op);
        return vrax::copy_from_entry<WIDE>(out, op, source, len);
    }
};

}  // namespace

CodecStatus vrax2_decompress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                             std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (!is_coded_block(in, in_size)) return decode_stored_block(in, in_size, out, out_cap, result);

    // Every entry but 0 starts unset, so a copy can reach only numbers that items of this block
    // have taken (all of them once the numbers have wrapped), never a position left by an earlier
    // call; entry 0 names the fill string until item 0 takes number 0.
    PhraseCopyItems items{aligned_work_memory<std::uint32_t>(work_memory)};
    std::fill_n(items.phrase, vrax::TABLE_ENTRIES, UNSET_POSITION);
    items.phrase[0] = FILL_POSITION;
    // Keeps every real position below UNSET_POSITION; no real block comes near 4 GiB.
    out_cap = std::min(out_cap, UNSET_POSITION);
    return decode_items(in, in_size, out, out_cap, result, items);
}
