// VRAX3-A compressor: at each position that may start a copy, the longest of the eight candidates
// in the set of its three bytes, the lowest way winning ties.
#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "bytes.h"
#include "entry.h"
#include "fill_string.h"
#include "item_stream.h"
#include "slot_table.h"
#include "vrax3a.h"
#include "vrax3a_internal.h"

namespace {

// The 18 bytes at p, compared with a candidate without a data-dependent branch: a way that agrees
// on no byte costs as much as one that agrees on 18, so the search has nothing to mispredict.
class Probe {
public:
    explicit Probe(const std::uint8_t* p)
#if defined(__SSE2__)
        : head_(load128(p)), tail_(load128(p + 2))
#else
        : p_(p)
#endif
    {
    }

    // The leading bytes on which p and c agree, at most 18, as a mask of trailing ones:
    // (1 << length) - 1. Reads c[0..17].
    std::uint32_t agreeing(const std::uint8_t* c) const {
#if defined(__SSE2__)
        // Bit k of `equal` is set when byte k agrees: bytes 0..15 from the first compare, bytes
        // 2..17 from the second. Adding 1 clears its trailing ones and sets the bit above them.
        const auto head = std::uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(head_, load128(c))));
        const auto tail = std::uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(tail_, load128(c + 2))));
        const std::uint32_t equal = head | tail << 2;
        return equal & ~(equal + 1);
#else
        return (1u << vrax::match_length_18(p_, c)) - 1;
#endif
    }

private:
#if defined(__SSE2__)
    static __m128i load128(const std::uint8_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    __m128i head_;
    __m128i tail_;
#else
    const std::uint8_t* p_;
#endif
};

}  // namespace

CodecStatus vrax3a_compress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                            std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    using vrax3a::WaySets;
    constexpr std::uint32_t WAYS = vrax3a::WAYS;
    if (out_cap < item_stream_bound(in_size)) [[unlikely]]
        return destination_too_small(result);
    WaySets table{aligned_work_memory<std::uint32_t>(work_memory)};
    fill_slot_table(table.slots);
    PendingInsertions<WaySets> pending;

    // Matched items start at i ≤ in_size - 18, so p[0..17] is input; a candidate is an earlier
    // position (its 18 bytes end before in_size) or the padded fill string. Inlined into the item
    // loop so that the table and the pending insertions can stay in registers.
    auto code_matched = [&](std::uint32_t i, std::uint8_t*& op)
                            __attribute__((always_inline)) -> std::uint32_t {
        const std::uint8_t* const p = in + i;
        const std::uint32_t first = WaySets::key(p);
        const std::uint32_t* const ways = table.slots + first;
        const Probe probe(p);
        std::uint32_t prefix[WAYS];
#pragma GCC unroll 8
        for (std::uint32_t w = 0; w < WAYS; ++w) prefix[w] = probe.agreeing(entry_bytes(in, ways[w]));
        // The ways' agreeing prefixes are nested masks, so their OR is the longest: the length,
        // on which the next item waits, comes a few ORs after the loads. The complement has bit
        // 18 set, so it is never 0.
        const std::uint32_t longest = ((prefix[0] | prefix[1]) | (prefix[2] | prefix[3])) |
                                      ((prefix[4] | prefix[5]) | (prefix[6] | prefix[7]));
        const auto best_len = std::uint32_t(__builtin_ctz(~longest));
        // The way to name, which only this item's bytes need: each way scores prefix × 8 +
        // (7 - way), so the highest score is the longest prefix at the lowest way.
        std::uint32_t best = 0;
#pragma GCC unroll 8
        for (std::uint32_t w = 0; w < WAYS; ++w) best = std::max(best, prefix[w] << 3 | (WAYS - 1 - w));
        const std::uint32_t best_way = WAYS - 1 - (best & 7);
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
