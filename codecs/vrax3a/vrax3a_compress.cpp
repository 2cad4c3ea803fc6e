// VRAX3-A compressor: at each position that may start a copy, the longest of the eight candidates
// in the set of its three bytes, the lowest way winning ties.
#include <algorithm>
#include <bit>
#include <cstdint>

#include "bytes.h"
#include "compiler.h"
#include "entry.h"
#include "fill_string.h"
#include "item_stream.h"
#include "slot_table.h"
#include "slot_window.h"
#include "vrax3a.h"
#include "vrax3a_internal.h"
#include "work_memory.h"

#if VRAX_USE_SSE2
#include <emmintrin.h>
#endif

namespace {

using vrax3a::WAYS;

// Three bytes as a little-endian number, times an odd constant; the high bits depend on all three.
constexpr std::uint32_t tag_product(std::uint32_t three_bytes) { return three_bytes * 0x9E3779B1u; }
// Turns the product of the fill string's first three bytes into all ones.
inline constexpr std::uint32_t FILL_FLIP =
    ~tag_product(std::uint32_t(vrax::FILL_STRING[0]) | std::uint32_t(vrax::FILL_STRING[1]) << 8 |
                 std::uint32_t(vrax::FILL_STRING[2]) << 16);

// A hash of the three bytes at p whose high bits depend on all three and are all ones for the
// fill string's first three bytes. Reads p[0..3].
inline std::uint32_t tag_hash(const std::uint8_t* p) {
    return tag_product(vrax::load32(p) & 0xFFFFFF) ^ FILL_FLIP;
}

// The two hand-written parts of the search, in an SSE2 form and a portable one that give the same
// results: the tag test of a whole set, and Probe, which counts the leading bytes on which the 18
// bytes at p and a candidate agree without a data-dependent branch, so that a way that agrees on
// no byte costs as much as one that agrees on 18 and the search has nothing to mispredict.
//
// Probe's interface:
//     std::uint32_t length16(const std::uint8_t* c) const;  at most 16; reads c[0..15]
//     std::uint32_t length18(const std::uint8_t* c) const;  at most 18; reads c[0..17]

#if VRAX_USE_SSE2

// False when none of the eight 16-bit tags at `tags` is `tag`: one vector compare.
inline bool any_tag_is(const std::uint16_t* tags, std::uint32_t tag) {
    const __m128i eight = _mm_load_si128(reinterpret_cast<const __m128i*>(tags));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(eight, _mm_set1_epi16(std::int16_t(tag)))) != 0;
}

class Probe {
public:
    explicit Probe(const std::uint8_t* p) : head_(load128(p)), tail_(load128(p + 2)) {}

    std::uint32_t length16(const std::uint8_t* c) const { return trailing_ones(equal16(c)); }

    std::uint32_t length18(const std::uint8_t* c) const {
        // Bit k - 2 of `tail` is set when byte k agrees; bytes 2..15 are already in equal16, and
        // bytes 16 and 17 count only behind 16 agreeing bytes.
        const auto tail = std::uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(tail_, load128(c + 2))));
        return trailing_ones(equal16(c) | tail << 2);
    }

private:
    // The number of trailing ones of x, which has at most 18 bits set.
    static std::uint32_t trailing_ones(std::uint32_t x) {
        const std::uint32_t zeros = ~x;
        VRAX_ASSUME(zeros != 0);
        return std::uint32_t(std::countr_zero(zeros));
    }

    // Bit k set when byte k of p and c agree, for k < 16.
    std::uint32_t equal16(const std::uint8_t* c) const {
        return std::uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(head_, load128(c))));
    }

    static __m128i load128(const std::uint8_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }

    __m128i head_;
    __m128i tail_;
};

#else

inline bool any_tag_is(const std::uint16_t* tags, std::uint32_t tag) {
    bool found = false;
    for (std::uint32_t w = 0; w < WAYS; ++w) found |= tags[w] == tag;
    return found;
}

class Probe {
public:
    explicit Probe(const std::uint8_t* p) : p_(p) {}

    std::uint32_t length16(const std::uint8_t* c) const { return vrax::match_length_16(p_, c); }
    std::uint32_t length18(const std::uint8_t* c) const { return vrax::match_length_18(p_, c); }

private:
    const std::uint8_t* p_;
};

#endif

// The compressor's own form of the table: the decompressor's WaySets, and beside each slot a
// 16-bit tag of the three bytes at its position. It holds the same positions in the same slots,
// since the ways' rule of insertion is the one WaySets keeps. A set in which no slot has the tag of
// the current three bytes holds no candidate for a copy, and one vector compare of the eight tags
// finds that without loading a single candidate. PendingInsertions keeps a key per position (key:
// the set's first slot, the tag above it).
//
// The fill string's entry is its stand-in position (fill_stand_in) with the fill string's tag, so
// that the candidate of every entry is loaded from the input without a test. The bytes loaded for
// a fill entry are the wrong ones, but they can agree on three bytes with the item only when the
// item's tag is the fill string's or that of the stand-in's bytes; only such items
// (`needs_fill_bytes`) must tell the fill string's entries apart and compare the fill string.
class TaggedSets {
public:
    TaggedSets(std::uint32_t* slots, const std::uint8_t* in, std::uint32_t in_size)
        : sets_{slots} {
        // Without LOOKAHEAD bytes no item looks into the table, nor may the stand-in's be read.
        stand_in_ = vrax::fill_stand_in(in_size);
        stand_in_tag_ = in_size >= vrax::LOOKAHEAD ? tag(in + stand_in_) : FILL_TAG;
        std::fill_n(slots, vrax::TABLE_ENTRIES, stand_in_);
        std::fill_n(tags_, vrax::TABLE_ENTRIES, std::uint16_t(FILL_TAG));
    }

    // The tag of the three bytes at p: the high half of tag_hash, FILL_TAG for the fill string's
    // first three bytes. Reads p[0..3].
    static std::uint32_t tag(const std::uint8_t* p) { return tag_hash(p) >> 16; }
    static std::uint32_t key(std::uint32_t first, std::uint32_t tag) { return first | tag << 16; }

    void insert(std::uint32_t key, std::uint32_t position) {
        const std::uint32_t first = key & 0xFFFF;
        tags_[first + sets_.cycle] = std::uint16_t(key >> 16);
        sets_.insert(first, position);
    }

    const std::uint32_t* set(std::uint32_t first) const { return sets_.slots + first; }

    // False when no slot of the set of `first` has `tag`: then none agrees on three bytes.
    bool may_match(std::uint32_t first, std::uint32_t tag) const {
        return any_tag_is(tags_ + first, tag);
    }

    bool needs_fill_bytes(std::uint32_t tag) const {
        return (tag == FILL_TAG) | (tag == stand_in_tag_);
    }
    // The candidate of an entry, for an item with needs_fill_bytes.
    const std::uint8_t* fill_or_position(const std::uint8_t* in, std::uint32_t entry) const {
        return entry == stand_in_ ? vrax::FILL_STRING_PADDED.data() : in + entry;
    }

private:
    static constexpr std::uint32_t FILL_TAG = 0xFFFF;

    vrax3a::WaySets sets_;
    std::uint32_t stand_in_;
    std::uint32_t stand_in_tag_;
    alignas(16) std::uint16_t tags_[vrax::TABLE_ENTRIES];
};

// The best of the eight ways as one number, length × 8 + (7 - way), given the length of each:
// the highest is the longest candidate at the lowest way.
template <class Length>
VRAX_ALWAYS_INLINE inline std::uint32_t best_of_ways(Length&& length) {
    std::uint32_t score[WAYS];
    VRAX_UNROLL(8)
    for (std::uint32_t w = 0; w < WAYS; ++w) score[w] = length(w) << 3 | (WAYS - 1 - w);
    // A tree of maxima, three deep: the best is on the way from one item to the next. Left to
    // itself the compiler makes a chain of seven.
    auto max = [](std::uint32_t a, std::uint32_t b) VRAX_ALWAYS_INLINE {
        std::uint32_t m = std::max(a, b);
        VRAX_OPAQUE(m);
        return m;
    };
    return std::max(max(max(score[0], score[1]), max(score[2], score[3])),
                    max(max(score[4], score[5]), max(score[6], score[7])));
}

}  // namespace

CodecStatus vrax3a_compress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                            std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (out_cap < item_stream_bound(in_size)) [[unlikely]]
        return destination_too_small(result);
    TaggedSets table(aligned_work_memory<std::uint32_t>(work_memory), in, in_size);
    PendingInsertions<TaggedSets> pending;
    // The first slot of each position's set.
    KeyWindow<vrax3a::WaySets::KEY_SHIFT, vrax3a::WaySets::KEY_MASK> sets(in, in_size, LOOKAHEAD);
    bool long_copies = false;  // the last search found 16 or more agreeing bytes

    // The best of the ways of a set (best_of_ways), each way's candidate from `candidate`. Most
    // searches end within 16 bytes, and one compare per way covers those; bytes 16 and 17 cost a
    // second. They are compared only when some way agrees on all 16, or at once while the searches
    // just before found 16 or more (a run of long copies), where comparing 16 first and then again
    // would waste the first pass and a mispredicted branch.
    auto search = [&](const Probe& probe, auto&& candidate) VRAX_ALWAYS_INLINE {
        std::uint32_t best = 16 << 3;
        if (!long_copies)
            best = best_of_ways([&](std::uint32_t w) { return probe.length16(candidate(w)); });
        if (best >= 16 << 3)
            best = best_of_ways([&](std::uint32_t w) { return probe.length18(candidate(w)); });
        return best;
    };

    // Nothing is looked up ahead. The tag test decides the item (a set with the item's tag holds
    // a copy nearly always) and waits on two loads only; every form of handing on the next
    // position's tag test measured 3 to 9% slower.
    struct NoLookup {};
    auto look = [](std::uint32_t) { return NoLookup{}; };

    // Matched items start at i ≤ in_size - 18, so p[0..17] is input; a candidate is an earlier
    // position (its 18 bytes end before in_size), position in_size - 18 or the padded fill string.
    // Inlined into the item loop so that the table and the pending insertions can stay in
    // registers.
    auto code_matched = [&](std::uint32_t i, NoLookup&, std::uint8_t*& op, auto)
                            VRAX_ALWAYS_INLINE -> std::uint32_t {
        const std::uint8_t* const p = in + i;
        const std::uint32_t first = sets.slot(i);
        const std::uint32_t tag = TaggedSets::tag(p);
        const std::uint32_t key = TaggedSets::key(first, tag);
        if (!table.may_match(first, tag)) {
            pending.literal(table, i, key);
            return emit_literal(op, p);
        }
        const std::uint32_t* const ways = table.set(first);
        const Probe probe(p);
        std::uint32_t best;
        if (!table.needs_fill_bytes(tag)) [[likely]]
            best = search(probe, [&](std::uint32_t w) { return in + ways[w]; });
        else
            best = search(probe, [&](std::uint32_t w) {
                return table.fill_or_position(in, ways[w]);
            });
        // The length, on which the next item waits, comes a few compares after the loads.
        const std::uint32_t best_len = best >> 3;
        long_copies = best_len >= 16;
        // All eight lookups are done; only now may this item insert anything. The copy's own
        // position goes into the set of the slot it names, which is p's set.
        if (best_len >= LENGTH_BIAS) {
            const std::uint32_t best_way = WAYS - 1 - (best & 7);
            pending.copy(table, i, key);
            return emit_copy(op, p, first + best_way, best_len - LENGTH_BIAS, best_len);
        }
        pending.literal(table, i, key);
        return emit_literal(op, p);
    };
    result->length = compress_items<LOOKAHEAD, SpareBits::one, GroupLoop::rolled>(
        in, in_size, out, look, code_matched, sets);
    return CodecStatus::ok;
}
