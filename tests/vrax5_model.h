// A deliberately plain model of the VRAX5 compressor: one node per phrase with a text position,
// a length and two links, byte-by-byte comparisons from the root, an overrun test before every
// phrase item and a growing vector for the block. The codec's trie (blocks up to 64 KiB) and its
// tree of cached heads (larger blocks) must give exactly its blocks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "test_util.h"

namespace vrax::test {

// The model's block for `in`, or an empty vector when the phrase numbers run out.
inline Bytes model_vrax5_compress(const Bytes& in) {
    constexpr std::uint32_t NODES = 65536, ROOTS = 256, TAIL = 256, LONGEST = 255;
    const std::size_t n = in.size();
    struct Node {
        std::size_t text = 0;  // where the phrase's bytes are in `in` (not for roots)
        std::uint32_t length = 0;
        std::uint32_t less = 0, greater = 0;
    };
    std::vector<Node> nodes(NODES);
    for (std::uint32_t r = 0; r < ROOTS; ++r) nodes[r].length = 1;
    auto phrase_byte = [&](std::uint32_t c, std::size_t k) {
        return c < ROOTS ? std::uint8_t(c) : in[nodes[c].text + k];
    };

    Bytes out{0, 0, 0, 0};
    std::size_t at = 0;
    std::uint32_t next_number = ROOTS;
    if (n > TAIL) {
        while (true) {
            if (out.size() > n) return concat(Bytes{1, 0, 0, 0}, in);
            std::uint32_t c = in[at], match = c, m = 1, end = c;
            bool less = false, stop = false;
            while (true) {
                const std::uint32_t t = m + 1, h = nodes[c].length;
                std::size_t k = 0;
                while (k < std::min(t, h) && in[at + k] == phrase_byte(c, k)) ++k;
                if (k < std::min(t, h)) {
                    less = in[at + k] < phrase_byte(c, k);
                } else if (h != t) {
                    less = h > t;
                } else {  // the phrase equals the key: the longest match so far
                    match = c;
                    m = t;
                    less = false;
                    stop = t == LONGEST;
                }
                end = c;
                if (stop) break;
                const std::uint32_t child = less ? nodes[c].less : nodes[c].greater;
                if (child == 0) break;
                c = child;
            }
            out.push_back(std::uint8_t(match >> 8));
            out.push_back(std::uint8_t(match));
            if (nodes[end].length != LONGEST) {  // otherwise the number is given out unused
                nodes[next_number] = {at, m + 1, 0, 0};
                (less ? nodes[end].less : nodes[end].greater) = next_number;
            }
            if (++next_number == NODES) return {};
            at += m;
            if (at >= n - TAIL) break;
        }
    }
    for (; at < n; ++at) {
        out.push_back(0);
        out.push_back(in[at]);
    }
    return out;
}

}  // namespace vrax::test
