// A deliberately plain model of the two offset compressors, VRAX1 and VRAX1-A: byte-by-byte
// comparisons, an explicit empty entry, signed positions and a growing vector for the block. The
// codecs' word-wide tests, precomputed slots and table forms must give exactly its blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "codec.h"
#include "test_util.h"

namespace vrax::test {

struct OffsetCoder {
    std::uint32_t lookahead;  // a copy may start where this many bytes remain; also its longest
    std::uint32_t bias;       // copy length = length code + bias
    bool spare_ones;          // the last word's bits that describe no item
};
inline constexpr OffsetCoder VRAX1_MODEL{16, 1, false};
inline constexpr OffsetCoder VRAX1A_MODEL{18, 3, true};

inline constexpr std::int64_t EMPTY = -1;

// One block. `table` (4096 positions or EMPTY) is read and left as the call leaves it: a new one
// per call for VRAX1, the same one from call to call for VRAX1-A.
inline Bytes model_offset_compress(const Bytes& s, const OffsetCoder& c,
                                   std::vector<std::int64_t>& table) {
    const std::int64_t n = std::int64_t(s.size());
    const std::int64_t D = c.lookahead;
    ModelBlock block;
    Bytes& out = block.out;
    auto item = [&](std::int64_t& i) {
        bool copy = false;
        if (n - i >= D) {
            const std::uint32_t x =
                std::uint32_t(s[i]) << 8 ^ std::uint32_t(s[i + 1]) << 4 ^ s[i + 2];
            const std::uint32_t slot = x * 40543u >> 4 & 0xFFF;
            const std::int64_t q = table[slot];
            table[slot] = i;
            if (q != EMPTY && i - q >= 1 && i - q <= 4095) {
                std::int64_t len = 0;
                while (len < D && s[q + len] == s[i + len]) ++len;
                if (len >= 3) {
                    const std::int64_t offset = i - q;
                    out.push_back(std::uint8_t((offset >> 8) << 4 | (len - c.bias)));
                    out.push_back(std::uint8_t(offset));
                    i += len;
                    copy = true;
                }
            }
        }
        if (!copy) out.push_back(s[i++]);
        block.item_done(copy);
    };
    auto stored = [&] { return concat(Bytes{1, 0, 0, 0}, s); };
    if (std::int64_t(out.size()) > n) return stored();
    std::int64_t i = 0;
    // The overrun test comes after each group of 16 items while 16 × D bytes remain: every item
    // of the group writes the table, also when the block is then stored.
    while (n - i >= 16 * D) {
        for (int k = 0; k < 16; ++k) item(i);
        if (std::int64_t(out.size()) > n) return stored();
    }
    while (i < n) {
        item(i);
        if (std::int64_t(out.size()) > n) return stored();
    }
    return block.finish(c.spare_ones);
}

}  // namespace vrax::test
