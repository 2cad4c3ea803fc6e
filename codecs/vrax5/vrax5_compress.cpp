// VRAX5 compressor: at each position, the longest phrase of the tree that the input starts with
// becomes the item, and the phrase extended by the next byte joins the tree where the search
// ended. The last 256 bytes of a block are written as single-byte items.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>

#include "bytes.h"
#include "entry.h"
#include "item_stream.h"
#include "vrax5.h"
#include "vrax5_internal.h"

namespace {

using vrax5::GREATER;
using vrax5::LESS;
using vrax5::PhraseNode;

// Orders the k bytes at key against the k bytes at text as unsigned strings: negative, zero or
// positive. Reads key[0 .. k-1] and text[0 .. k-1] and nothing else: the last word of a string
// is loaded so that it ends at its last byte, overlapping bytes already found equal. k ≥ 1.
int compare_bytes(const std::uint8_t* key, const std::uint8_t* text, std::uint32_t k) {
    using namespace vrax;
    auto first_difference = [&](std::uint32_t at, std::uint64_t x) {
        const std::uint32_t i = at + (std::uint32_t(std::countr_zero(x)) >> 3);
        return int(key[i]) - int(text[i]);
    };
    if (k >= 8) {
        std::uint32_t i = 0;
        for (; k - i > 8; i += 8) {
            const std::uint64_t x = load64(key + i) ^ load64(text + i);
            if (x != 0) return first_difference(i, x);
        }
        i = k - 8;
        const std::uint64_t x = load64(key + i) ^ load64(text + i);
        return x != 0 ? first_difference(i, x) : 0;
    }
    if (k >= 4) {
        std::uint64_t x = load32(key) ^ load32(text);
        if (x != 0) return first_difference(0, x);
        x = load32(key + k - 4) ^ load32(text + k - 4);
        return x != 0 ? first_difference(k - 4, x) : 0;
    }
    if (k >= 2) {
        std::uint64_t x = load16(key) ^ load16(text);
        if (x != 0) return first_difference(0, x);
        x = load16(key + k - 2) ^ load16(text + k - 2);
        return x != 0 ? first_difference(k - 2, x) : 0;
    }
    assert(k == 1);
    return int(key[0]) - int(text[0]);
}

// Bytes 1 to 3 at p in a head's byte order (see PhraseNode). Reads p[0..3].
std::uint32_t head_bytes(const std::uint8_t* p) {
    return std::uint32_t(p[1]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 8;
}

struct SearchEnd {
    std::uint32_t match;      // phrase number of the longest phrase found equal to the input
    std::uint32_t length;     // its length, 1 to 255
    std::uint32_t end;        // the node where the search stopped
    std::uint32_t direction;  // the empty link of `end` it stopped at (unless length is 255)
};

// Searches the tree of the byte at key for the longest phrase that the input at key starts with.
// At each node the key is taken one byte longer than the match so far, so a phrase equal to the
// key becomes the match and the search goes on among longer phrases. The key never reaches past
// key[254].
SearchEnd search(const PhraseNode* nodes, const std::uint8_t* in, const std::uint8_t* key) {
    using vrax5::HEAD_BYTES;
    std::uint32_t match = key[0];
    std::uint32_t m = 1;
    // A root holds one byte, equal to key[0], and the key has two: always greater.
    std::uint32_t end = match;
    std::uint32_t direction = GREATER;
    std::uint32_t next = nodes[end].link[GREATER];
    const std::uint32_t key_head = head_bytes(key);
    while (next != 0) {
        const PhraseNode& node = nodes[next];
        // The search is bound by the latency of node loads: fetch both children while this
        // node is compared.
        __builtin_prefetch(&nodes[node.link[LESS]]);
        __builtin_prefetch(&nodes[node.link[GREATER]]);
        end = next;
        const std::uint32_t t = m + 1;
        const std::uint32_t h = node.head & vrax5::HEAD_LENGTH_MASK;
        // Compare the key's first t bytes with the phrase. Byte 0 is equal (every phrase of this
        // tree starts with key[0]); of the next ones, up to 3 are in the heads. With the key's
        // length placed where the head keeps the phrase's, one integer comparison orders the two
        // whenever the heads hold every byte to compare or differ: greater when the bytes are
        // greater or equal and the key longer, equal when the phrase is the key.
        const std::uint32_t k = std::min(t, h);
        const std::uint32_t in_head = std::min(k - 1, HEAD_BYTES);
        const std::uint32_t mask = ~std::uint32_t(0) << (32 - 8 * in_head);
        const std::uint32_t key_side = (key_head & mask) | t;
        const std::uint32_t node_side = node.head & (mask | vrax5::HEAD_LENGTH_MASK);
        bool greater = key_side >= node_side;
        bool equal = key_side == node_side;
        if (k > 1 + HEAD_BYTES && (key_side ^ node_side) <= vrax5::HEAD_LENGTH_MASK) {
            // The heads agree and the phrase has more bytes to compare: read its text.
            const int order = compare_bytes(key + 1 + HEAD_BYTES, in + node.text + 1 + HEAD_BYTES,
                                            k - 1 - HEAD_BYTES);
            if (order != 0) {
                greater = order > 0;
                equal = false;
            }
        }
        if (equal) {
            // The phrase equals the key: the longest match so far; look for longer ones.
            match = next;
            m = t;
            if (t == vrax5::MAX_PHRASE_LENGTH) return {match, m, end, GREATER};
        }
        direction = greater ? GREATER : LESS;
        next = node.link[direction];
    }
    return {match, m, end, direction};
}

}  // namespace

CodecStatus vrax5_compress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                           std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (out_cap < vrax5::compress_bound(in_size)) [[unlikely]]
        return destination_too_small(result);
    auto* const tables = aligned_work_memory<vrax5::CompressorTables>(work_memory);
    PhraseNode* const nodes = tables->nodes;
    // Only the roots are set; every later node is written when its number is given out and
    // reached only through links written in this call.
    for (std::uint32_t k = 0; k < vrax5::ROOT_COUNT; ++k) {
        tables->root_text[k] = std::uint8_t(k);
        nodes[k] = PhraseNode{k, {0, 0}, 1};
    }

    write_block_header(out, BLOCK_CODED);
    std::uint8_t* op = out + BLOCK_HEADER_SIZE;
    std::uint32_t p = 0;
    if (in_size > vrax5::TAIL_LENGTH) {
        const std::uint32_t phrase_end = in_size - vrax5::TAIL_LENGTH;
        std::uint32_t number = vrax5::FIRST_PHRASE;
        do {
            // Coding stops paying once an item would start beyond n bytes of output.
            if (std::uint32_t(op - out) > in_size) {
                result->length = store_block(in, in_size, out);
                return CodecStatus::ok;
            }
            const SearchEnd found = search(nodes, in, in + p);
            op[0] = std::uint8_t(found.match >> 8);
            op[1] = std::uint8_t(found.match);
            op += vrax5::ITEM_SIZE;

            // The new phrase is the match plus the byte after it. It joins the tree at the
            // empty link where the search stopped, unless the search stopped at a 255-byte
            // phrase: then it keeps its number but stays out of the tree.
            PhraseNode& end = nodes[found.end];
            if ((end.head & vrax5::HEAD_LENGTH_MASK) == vrax5::MAX_PHRASE_LENGTH) {
                nodes[number].head = 0;  // length 0: not in the tree
            } else {
                nodes[number] = PhraseNode{p, {0, 0}, head_bytes(in + p) | (found.length + 1)};
                end.link[found.direction] = std::uint16_t(number);
            }
            if (++number == vrax5::PHRASE_COUNT) [[unlikely]] {
                result->message = vrax5::MESSAGE_OUT_OF_NODES;
                return CodecStatus::failed;
            }
            p += found.length;
        } while (p < phrase_end);
    }

    // The literal tail: one root item per byte, no phrases, no abandon test.
    for (; p < in_size; ++p) {
        op[0] = 0;
        op[1] = in[p];
        op += vrax5::ITEM_SIZE;
    }
    result->length = std::uint32_t(op - out);
    return CodecStatus::ok;
}
