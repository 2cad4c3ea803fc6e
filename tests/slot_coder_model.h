// A deliberately plain model of the two slot-table compressors (VRAX3 with one way per key,
// VRAX3-A with eight): byte-by-byte comparisons, signed positions, an overrun test after every
// item and a growing vector for the block. The codecs' word-wide matching, search shortcuts and
// item groups must give exactly its blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "codec.h"
#include "fill_string.h"
#include "test_util.h"

namespace vrax::test {

inline Bytes model_slot_compress(const Bytes& s, std::uint32_t ways) {
    const std::size_t n = s.size();
    constexpr std::int64_t FILL = -1;
    std::vector<std::int64_t> table(4096, FILL);
    std::uint32_t cycle = 0;

    auto key_at = [&](std::size_t p) -> std::uint32_t {
        std::uint32_t x = std::uint32_t(s[p]) << 8 ^ std::uint32_t(s[p + 1]) << 4 ^ s[p + 2];
        std::uint32_t product = x * 40543u;
        return ways == 1 ? (product >> 4 & 0xFFF) : (product >> 4 & 0x1FF) * 8;
    };
    auto insert = [&](std::uint32_t key, std::int64_t position) {
        if (ways == 1) {
            table[key] = position;
        } else {
            table[key + cycle] = position;
            cycle = (cycle + 1) % 8;
        }
    };
    auto byte_at = [&](std::int64_t position, std::size_t k) -> int {
        return position == FILL ? std::uint8_t(FILL_STRING[k]) : s[std::size_t(position) + k];
    };
    auto stored = [&] { return concat(Bytes{1, 0, 0, 0}, s); };

    ModelBlock block;
    Bytes& out = block.out;
    std::vector<std::uint32_t> pending;  // keys of literals not yet inserted, oldest first
    if (out.size() > n) return stored();
    for (std::size_t i = 0; i < n;) {
        bool copy = false;
        if (i + 18 <= n) {
            const std::uint32_t key = key_at(i);
            std::size_t best = 0;
            std::uint32_t best_way = 0;
            for (std::uint32_t w = 0; w < ways; ++w) {
                std::size_t len = 0;
                while (len < 18 && byte_at(table[key + w], len) == s[i + len]) ++len;
                if (len > best) {
                    best = len;
                    best_way = w;
                }
            }
            if (best >= 3) {
                const std::uint32_t slot = key + best_way;
                out.push_back(std::uint8_t((slot >> 8) << 4 | (best - 3)));
                out.push_back(std::uint8_t(slot));
                for (std::size_t j = 0; j < pending.size(); ++j)
                    insert(pending[j], std::int64_t(i - pending.size() + j));
                pending.clear();
                insert(key, std::int64_t(i));
                i += best;
                copy = true;
            } else {
                out.push_back(s[i]);
                if (pending.size() == 2) {
                    insert(pending[0], std::int64_t(i - 2));
                    pending.erase(pending.begin());
                }
                pending.push_back(key);
                ++i;
            }
        } else {
            out.push_back(s[i++]);
        }
        block.item_done(copy);
        if (out.size() > n) return stored();
    }
    return block.finish(true);
}

}  // namespace vrax::test
