// VRAX2 decompressor: the shared item loop, numbering every item as it goes and keeping the phrase
// table of start positions in step with the compressor's.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "block.h"
#include "bytes.h"
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
    std::uint32_t last_word = 0x10000;  // the control word of the group before; none at first

    void record(std::uint8_t* out, std::uint8_t* op) {
        phrase[k] = std::uint32_t(op - out);
        k = (k + 1) & vrax2::PHRASE_MASK;
    }

    void literal(std::uint8_t* out, std::uint8_t* op, std::uint8_t) { record(out, op); }

    // Entry `number` is read before this item records its own start, since it may name the very
    // number this item is about to take (the item 4096 before). A source that is not a position
    // before op is an unset entry (or a forged one): the block is malformed.
    template <bool WIDE>
    bool copy(std::uint8_t* out, std::uint8_t* op, std::uint32_t number, std::uint32_t len) {
        const std::uint32_t source = phrase[number];
        record(out, op);
        return vrax::copy_from_entry<WIDE>(out, op, source, len);
    }

    // A group of at most SPARSE_COPIES copies is decoded copy by copy, as VRAX1 decodes: each
    // step moves the literals before the next copy in one 16-byte move, writes the entries of
    // those literals and of the copy four at a time, then carries out the copy. That takes the
    // branch between literal and copy, which follows the data, off every item. A group with
    // more copies has short runs and gains nothing, and a group with the same control word as
    // the one before follows a pattern that the branch predictor learns (fixed-width records,
    // counters); the item loop decodes both.
    //
    // Item j of the group takes entry k + j and starts at op_base + j in the output (op_base
    // moves only at copies). Writing whole fours puts up to SPILL entries past the last one due
    // into entries of items still to come, even of the next group: a copy that names such an
    // entry (a number taken 4096 items before) reads it from `before`, the group's entries as
    // they stood at its start, and the group puts the entries past its own back at its end.
    static constexpr std::uint32_t SPARSE_COPIES = 12;
    static constexpr std::uint32_t SPILL = 3;
    static constexpr std::uint32_t BEFORE = 16 + SPILL + 1;  // whole fours

    vrax::GroupDecoded group(const std::uint8_t*& ip, std::uint8_t* out, std::uint8_t*& op) {
        using namespace vrax;
        assert(k % 16 == 0);  // the fast loop starts at item 0 and takes whole groups
        std::uint32_t copies = load16(ip);
        const bool repeated = copies == last_word;
        last_word = copies;
        if (repeated || std::popcount(copies) > int(SPARSE_COPIES)) return GroupDecoded::no;

        std::uint32_t before[BEFORE];
        std::memcpy(before, phrase + k, sizeof before);
        // Entries of `before` that are numbers of this cycle: at the table's end, the spare
        // entries behind it stand in for numbers 0 to 3, which the group does not write.
        const std::uint32_t own = std::min(BEFORE, TABLE_ENTRIES - k);
        const std::uint8_t* ip_base = ip + 2;
        std::uint8_t* op_base = op;
        // Entries of items first .. last (last - first < 16), four at a time.
        auto record = [&](std::uint32_t first, std::uint32_t last) {
            const std::uint32_t start = std::uint32_t(op_base - out) + first;
            std::uint32_t* const entry = phrase + k + first;
            for (std::uint32_t m = 0; m < 4; ++m) entry[m] = start + m;
            if (last - first >= 4) [[unlikely]]
                for (std::uint32_t j = 4; j <= last - first; j += 4)
                    for (std::uint32_t m = 0; m < 4; ++m) entry[j + m] = start + j + m;
        };
        std::uint32_t next = 0;  // the item after the last copy taken
        while (copies != 0) {
            const auto bit = std::uint32_t(std::countr_zero(copies));
            copies &= copies - 1;
            std::memcpy(op_base + next, ip_base + next, LITERAL_RUN_WIDTH);
            record(next, bit);
            const auto [number, len] = read_copy_item<LENGTH_BIAS>(ip_base + bit);
            const std::uint32_t named = (number - k) & vrax2::PHRASE_MASK;  // as an item of the group
            std::uint32_t source = phrase[number];
            if (named - bit < own - bit) [[unlikely]]  // named in [bit, own)
                source = before[named];
            if (!copy_from_entry<true>(out, op_base + bit, source, len)) [[unlikely]]
                return GroupDecoded::malformed;
            ip_base += 1;
            op_base += len - 1;
            next = bit + 1;
        }
        std::memcpy(op_base + next, ip_base + next, LITERAL_RUN_WIDTH);
        if (next < 16) record(next, 15);
        std::memcpy(phrase + k + 16, before + 16, (BEFORE - 16) * sizeof(std::uint32_t));
        ip = ip_base + 16;
        op = op_base + 16;
        k = (k + 16) & vrax2::PHRASE_MASK;
        return GroupDecoded::yes;
    }
};

// The phrase table and the entries that a sparse group may write past its end.
inline constexpr std::uint32_t PHRASE_TABLE_SIZE = vrax::TABLE_ENTRIES + PhraseCopyItems::SPILL + 1;
static_assert(PHRASE_TABLE_SIZE * sizeof(std::uint32_t) + 3 <= vrax2::WORK_SIZE);

}  // namespace

CodecStatus vrax2_decompress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                             std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (!is_coded_block(in, in_size)) return decode_stored_block(in, in_size, out, out_cap, result);

    // Every entry but 0 starts unset, so a copy can reach only numbers that items of this block
    // have taken (all of them once the numbers have wrapped), never a position left by an earlier
    // call; entry 0 names the fill string until item 0 takes number 0.
    PhraseCopyItems items{aligned_work_memory<std::uint32_t>(work_memory)};
    std::fill_n(items.phrase, PHRASE_TABLE_SIZE, UNSET_POSITION);
    items.phrase[0] = FILL_POSITION;
    // Keeps every real position below UNSET_POSITION; no real block comes near 4 GiB.
    out_cap = std::min(out_cap, UNSET_POSITION);
    return decode_items(in, in_size, out, out_cap, result, items);
}
