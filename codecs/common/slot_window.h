// The table keys (12-bit slots, or VRAX3-A's sets) of the positions just ahead of a compressor,
// worked out in batches before the items that need them. An item then reads its key with one load
// instead of hashing its bytes, so the key is off the chain from one item's decision to the next,
// and batches suit vector code: only the low 16 bits of the product enter a key, so a 16-bit
// multiply gives it exactly, sixteen positions at a time with SSE2.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "compiler.h"
#include "hash3.h"

#if VRAX_USE_SSE2
#include <emmintrin.h>
#endif

namespace vrax {

// How slot(j) finds the key of position j:
//   ring:  in a ring indexed by j modulo SPAN, addressed from the stack pointer: a mask, no base;
//   based: at j less the position where the last batch starts, through a base that each batch
//          sets: no mask, one instruction less from an item's length to the next item's key, but
//          one more register in the item loop. Same-binary runs: VRAX1 2.4 to 2.9% faster;
//          VRAX1-A, VRAX2, VRAX3 and VRAX3-A within 2% either way.
enum class KeyIndex { ring, based };

// KEY_SHIFT and KEY_MASK say which bits of the product (hash3_product) make an item's key: bits 4
// to 15 for the 12-bit slot of VRAX1 to VRAX3, (product >> 1) & 0xFF8 for the first slot of a
// VRAX3-A set. Both lie in the product's low 16 bits.
template <std::uint32_t KEY_SHIFT, std::uint32_t KEY_MASK, KeyIndex INDEX = KeyIndex::ring>
class KeyWindow {
public:
    static_assert((KEY_MASK << KEY_SHIFT) <= 0xFFFF);

    // Positions whose slot is computed in one batch: 8 KiB of 16-bit slots.
    static constexpr std::uint32_t SPAN = 4096;
    static_assert(SPAN % 16 == 0 && (SPAN & (SPAN - 1)) == 0);

    // For the positions of `in` (in_size bytes) where at least `lookahead` (≥ 3) bytes remain,
    // where a compressor's matched items start.
    KeyWindow(const std::uint8_t* in, std::uint32_t in_size, std::uint32_t lookahead)
        : in_(in), in_size_(in_size), limit_(in_size >= lookahead ? in_size - lookahead + 1 : 0) {}

    // The `ahead` of compress_items: makes slot(j) valid for every j in [i, end), where end is
    // at most the limit above and end - i at most SPAN - 15.
    VRAX_ALWAYS_INLINE void operator()(std::uint32_t i, std::uint32_t end) {
        if (end > end_) [[unlikely]]
            fill(i);
    }

    std::uint32_t slot(std::uint32_t j) const {
        if constexpr (INDEX == KeyIndex::ring) {
            return slots_[j % SPAN];
        } else {
            // An address in integers: slots_ less the batch's start, as a pointer, would lie
            // outside the array.
            std::uint16_t key;
            std::memcpy(&key, reinterpret_cast<const void*>(based_ + sizeof key * j), sizeof key);
            return key;
        }
    }

private:
    // Computes the slots from i rounded down to a multiple of 16, for SPAN positions or as far
    // as the limit. The batches of sixteen then never wrap around the ring.
    VRAX_NOINLINE void fill(std::uint32_t i) {
        std::uint32_t j = i & ~15u;
        end_ = std::min(limit_, j + SPAN);
        // Where position j's key goes: j % SPAN in the ring, j - start from the base.
        const std::uint32_t start = j;
        auto at = [start](std::uint32_t position) {
            return INDEX == KeyIndex::ring ? position % SPAN : position - start;
        };
        if constexpr (INDEX == KeyIndex::based) {
            based_ = reinterpret_cast<std::uintptr_t>(slots_) -
                     sizeof slots_[0] * std::uintptr_t(start);
        }
#if VRAX_USE_SSE2
        // Sixteen positions read the 18 bytes in[j .. j + 17].
        const __m128i zero = _mm_setzero_si128();
        const __m128i factor = _mm_set1_epi16(std::int16_t(HASH3_FACTOR));
        auto slots8 = [&](__m128i b0_b2, __m128i b1) {
            // (b0 << 8 | b2) ^ (b1 << 4), times the factor, gives the product's low 16 bits.
            const __m128i x = _mm_xor_si128(b0_b2, _mm_slli_epi16(b1, 4));
            const __m128i key = _mm_srli_epi16(_mm_mullo_epi16(x, factor), KEY_SHIFT);
            if constexpr ((0xFFFF >> KEY_SHIFT) == KEY_MASK) return key;
            return _mm_and_si128(key, _mm_set1_epi16(std::int16_t(KEY_MASK)));
        };
        for (; j + 16 <= end_ && std::uint64_t(j) + 18 <= in_size_; j += 16) {
            const auto* p = reinterpret_cast<const __m128i*>(in_ + j);
            const __m128i b0 = _mm_loadu_si128(p);
            const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in_ + j + 1));
            const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in_ + j + 2));
            auto* s = reinterpret_cast<__m128i*>(slots_ + at(j));
            _mm_storeu_si128(s, slots8(_mm_unpacklo_epi8(b2, b0), _mm_unpacklo_epi8(b1, zero)));
            _mm_storeu_si128(s + 1, slots8(_mm_unpackhi_epi8(b2, b0), _mm_unpackhi_epi8(b1, zero)));
        }
#endif
        for (; j < end_; ++j)
            slots_[at(j)] = std::uint16_t(hash3_product(in_ + j) >> KEY_SHIFT & KEY_MASK);
    }

    const std::uint8_t* in_;
    std::uint32_t in_size_;
    std::uint32_t limit_;  // positions below it have a slot
    std::uint32_t end_ = 0;  // slot(j) is valid from the last fill's start up to end_
    // With KeyIndex::based only: where slot(0) would lie, the last fill's start being at slots_.
    std::uintptr_t based_ = 0;
    std::uint16_t slots_[SPAN];
};

// The 12-bit slots of hash3_slot.
template <KeyIndex INDEX = KeyIndex::ring>
using SlotWindow = KeyWindow<HASH3_SLOT_SHIFT, HASH3_SLOT_MASK, INDEX>;

}  // namespace vrax
