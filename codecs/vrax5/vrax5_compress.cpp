// VRAX5 compressor: at each position, the longest phrase of the tree that the input starts with
// becomes the item, and the phrase extended by the next byte joins the tree where the search
// ended. The last 256 bytes of a block are written as single-byte items.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "bytes.h"
#include "compiler.h"
#include "entry.h"
#include "item_stream.h"
#include "vrax5.h"
#include "vrax5_internal.h"

namespace {

using vrax5::GREATER;
using vrax5::HEAD_LENGTH_MASK;
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

// Phrase bytes a head holds: all but the length byte.
template <class Head>
constexpr std::uint32_t HEAD_BYTES = sizeof(Head) - 1;

// The bytes at p as a word, p[0] highest. Reads p[0 .. sizeof(Head) - 1].
template <class Head>
Head big_endian(const std::uint8_t* p) {
    if constexpr (sizeof(Head) == 8) {
        return vrax::byte_swap(vrax::load64(p));
    } else {
        static_assert(sizeof(Head) == 4);
        return vrax::byte_swap(vrax::load32(p));
    }
}

// The bits of a head that hold the bytes 1 to length - 1 of a phrase of `length` bytes (as many
// as the head holds) and its length byte. length ≥ 2.
template <class Head>
constexpr Head held_bits(std::uint32_t length) {
    const std::uint32_t held = std::min(length - 1, HEAD_BYTES<Head>);
    return Head(~Head(0) << (8 * (sizeof(Head) - held))) | HEAD_LENGTH_MASK;
}

// The head of the `length`-byte string at p (see PhraseNode). Reads p[0 .. sizeof(Head) - 1].
template <class Head>
Head string_head(const std::uint8_t* p, std::uint32_t length) {
    return (big_endian<Head>(p) << 8 & held_bits<Head>(length)) | length;
}

// Branch-free choices for the search. Which way a node sends the search follows the data, so as
// a branch it is mispredicted about half the time, and the search waits on it at every node; on
// x86-64 each choice is a compare and a conditional move, which the compiler does not always
// choose by itself.
//
// `greater` unless key_side < head, else `less`.
template <class Head, class T>
T follow(Head key_side, Head head, T less, T greater) {
#if VRAX_USE_X86_64_ASM
    asm("cmp %[head], %[key]\n\tcmovae %[greater], %[less]"
        : [less] "+r"(less)
        : [head] "r"(head), [key] "r"(key_side), [greater] "r"(greater)
        : "cc");
    return less;
#else
    return key_side >= head ? greater : less;
#endif
}

// `if_equal` when key_side == head, else `otherwise`.
template <class Head, class T>
T pick_if_equal(Head key_side, Head head, T if_equal, T otherwise) {
#if VRAX_USE_X86_64_ASM
    asm("cmp %[head], %[key]\n\tcmove %[if_equal], %[otherwise]"
        : [otherwise] "+r"(otherwise)
        : [head] "r"(head), [key] "r"(key_side), [if_equal] "r"(if_equal)
        : "cc");
    return otherwise;
#else
    return key_side == head ? if_equal : otherwise;
#endif
}

// held_bits for every key length up to one more than the longest a head holds, so that a search
// finds the key's head for a new length with one load.
template <class Head>
struct HeldBitsTable {
    Head bits[3 + HEAD_BYTES<Head>];  // [t] for t = 2 .. 2 + HEAD_BYTES
};

template <class Head>
constexpr HeldBitsTable<Head> held_bits_table() {
    HeldBitsTable<Head> table{};
    for (std::uint32_t t = 2; t <= 2 + HEAD_BYTES<Head>; ++t) table.bits[t] = held_bits<Head>(t);
    return table;
}

template <class Head>
constexpr HeldBitsTable<Head> HELD_BITS = held_bits_table<Head>();

struct SearchEnd {
    std::uint32_t match;      // phrase number of the longest phrase found equal to the input
    std::uint32_t length;     // its length, 1 to 255
    std::uint32_t end;        // the node where the search stopped
    std::uint32_t direction;  // the empty link of `end` it stopped at (unless length is 255)
};

// The index of the 2-byte string at p in the table of 2-byte phrases.
std::uint32_t pair_index(const std::uint8_t* p) { return std::uint32_t(p[0]) << 8 | p[1]; }

// Where the 3-byte string at p goes in the table of 3-byte phrases. Its bytes, times an odd
// number modulo 2^24 (a one-to-one map), give the slot in their top bits; the low bits, with one
// bit set so that no tag is 0, tell the strings of a slot apart. A slot holds tag << 16 | node.
struct TripleSlot {
    std::uint32_t index;
    std::uint32_t tag;
};
TripleSlot triple_slot(const std::uint8_t* p) {
    constexpr std::uint32_t TAG_BITS = 24 - vrax5::TRIPLE_SLOT_BITS;
    const std::uint32_t mixed = (vrax::load32(p) & 0xFFFFFF) * 0x9E3779B1u & 0xFFFFFF;
    return {mixed >> TAG_BITS, (mixed & ((1u << TAG_BITS) - 1)) | 1u << TAG_BITS};
}

// The tables of short phrases that let a search skip the top of the tree (see search); null
// pointers to search from the root.
struct ShortPhrases {
    std::uint16_t* pairs;
    std::uint32_t* triples;
    std::uint32_t* quads;
};

// The slot of the 4-byte string at p in the table of 4-byte phrases, and the tag that it holds
// beside a node: the string's first byte and a bit set so that no tag is 0.
std::uint32_t quad_index(const std::uint8_t* p) {
    return vrax::load32(p) * 0x9E3779B1u >> (32 - vrax5::QUAD_SLOT_BITS);
}
std::uint32_t quad_tag(const std::uint8_t* p) { return 0x100u | p[0]; }

// The end of a search for a key that has become longer than a head holds: the walk from node
// `next` on, with the state of the search so far (the match of found.length bytes, the node
// whose link led to `next`). Each phrase of equal length makes the key one byte longer.
template <class Head>
SearchEnd search_long_key(const PhraseNode<Head>* nodes, const std::uint8_t* in,
                          const std::uint8_t* key, SearchEnd found, std::uint32_t next) {
    constexpr std::uint32_t KEY_IN_HEAD = 1 + HEAD_BYTES<Head>;
    auto [match, t, end, direction] = found;
    ++t;  // the key is one byte longer than the match
    Head key_side = (big_endian<Head>(key) << 8) | t;
    while (next != 0) {
        const PhraseNode<Head>& node = nodes[next];
        std::uint32_t links;
        std::memcpy(&links, node.link, sizeof links);
        VRAX_PREFETCH(&nodes[links & 0xFFFF]);
        VRAX_PREFETCH(&nodes[links >> 16]);
        end = next;
        const Head head = node.head;
        bool greater = key_side >= head;
        bool equal = key_side == head;
        const std::uint32_t h = std::uint32_t(head & HEAD_LENGTH_MASK);
        // Heads that agree on their bytes with a phrase longer than a head holds: compare the
        // bytes past the heads, then the lengths as the heads did.
        if (((key_side ^ head) >> 8 | Head(h <= KEY_IN_HEAD)) == 0) [[unlikely]] {
            const int order = compare_bytes(key + KEY_IN_HEAD, in + node.text + KEY_IN_HEAD,
                                            std::min(t, h) - KEY_IN_HEAD);
            if (order != 0) {
                greater = order > 0;
                equal = false;
            } else if (equal && t == vrax5::MAX_PHRASE_LENGTH) {
                return {next, t, next, GREATER};  // no longer match is sought
            }
        }
        match ^= (match ^ next) & -std::uint32_t(equal);
        t += equal;
        key_side += equal;
        direction = greater ? GREATER : LESS;
        next = (links >> (16 * direction)) & 0xFFFF;
    }
    return {match, t - 1, end, direction};
}

// Searches the tree of the byte at key for the longest phrase that the input at key starts with.
// At each node the key is taken t bytes long, one byte longer than the match so far, so a phrase
// equal to the key becomes the match and the search goes on among longer phrases. The key never
// reaches past key[254].
//
// The key is compared in the form of a head: its bytes 1 to t - 1 (byte 0 is that of every phrase
// in the tree), as many as a head holds, zero after them, and t in the low byte. Comparing it with
// a node's head as unsigned integers orders the key and the phrase whenever all the bytes to
// compare, the first min(t, h) of an h-byte phrase, are in the heads. When the bytes differ, the
// first difference decides. When they agree and the phrase is longer, the key's zeros (or, at
// equal bytes, its smaller length) make it less; when the key is longer, its bytes against the
// phrase's zeros (or its larger length) make it greater; at equal lengths the heads are equal.
// Only when both the key and the phrase are longer than the head and the heads agree on their
// bytes does the search read the phrase's text (search_long_key).
//
// `short_phrases`, when given, holds the node of every 2-byte phrase in the tree (0 for none) and
// of some 3- and 4-byte ones. Until it meets the first phrase equal to its key, a search compares
// 2-byte keys, so its way from the root depends only on the key's two bytes; and links, once set,
// never change. So a search whose two bytes form a phrase of the tree reaches that phrase's node,
// with no earlier phrase equal, just as the search that put it there did, and it starts there,
// after that node's comparison. From there on it compares 3-byte keys until the next phrase equal,
// so in the same way it may start at the node of its first three bytes, when that phrase is in the
// tree and in the table, and likewise at the node of its first four. The nodes it skips change
// nothing that the search yields.
//
// The search is bound by the latency from one node to the next, so its common case is free of
// branches that depend on the data.
template <class Head>
SearchEnd search(const PhraseNode<Head>* nodes, ShortPhrases short_phrases,
                 const std::uint8_t* in, const std::uint8_t* key) {
    constexpr std::uint32_t KEY_IN_HEAD = 1 + HEAD_BYTES<Head>;  // longest key a head holds
    // A root holds one byte, equal to key[0], and the key has two: always greater.
    std::uint32_t match = key[0];
    std::uint32_t t = 2;
    if (short_phrases.pairs != nullptr) {
        const TripleSlot triple = triple_slot(key);
        const std::uint32_t entry = short_phrases.triples[triple.index];
        const std::uint32_t pair = short_phrases.pairs[pair_index(key)];
        const std::uint32_t quad = short_phrases.quads[quad_index(key)];
        // A 4-byte slot names a node of this block (the tables are cleared for each), whose
        // head holds the bytes its tag does not. The longest phrase found is equal to the key,
        // and the search goes on to its greater subtree. Branches here let a predicted walk
        // start before the tables are read; conditional moves measured slower.
        if (quad >> 16 == quad_tag(key) &&
            nodes[quad & 0xFFFF].head == string_head<Head>(key, 4)) {
            match = quad & 0xFFFF;
            t = 5;
        } else if (entry >> 16 == triple.tag) {
            match = entry & 0xFFFF;
            t = 4;
        } else if (pair != 0) {
            match = pair;
            t = 3;
        }
        // The next item most often starts where this one's start phrase ends: fetch its table
        // slots while this search walks.
        const std::uint8_t* const after = key + (t - 1);
        VRAX_PREFETCH(&short_phrases.pairs[pair_index(after)]);
        VRAX_PREFETCH(&short_phrases.triples[triple_slot(after).index]);
        VRAX_PREFETCH(&short_phrases.quads[quad_index(after)]);
    }
    const std::uint32_t next = nodes[match].link[GREATER];
    if (t > KEY_IN_HEAD) {
        return search_long_key(nodes, in, key, {match, t - 1, match, GREATER}, next);
    }

    // While the key fits in a head, every node is decided by the two heads. The walk keeps node
    // addresses rather than numbers, one step less from one node to the next.
    const Head key_bytes = big_endian<Head>(key) << 8;
    Head key_side = (key_bytes & HELD_BITS<Head>.bits[t]) | t;
    // The key's head one byte longer, ready before the node that may make it so.
    Head longer_key_side = (key_bytes & HELD_BITS<Head>.bits[t + 1]) | (t + 1);
    const PhraseNode<Head>* node = &nodes[next];
    const PhraseNode<Head>* match_node = &nodes[match];
    const PhraseNode<Head>* end_node = match_node;
    while (node != nodes) {  // link 0: no child
        std::uint32_t links;
        std::memcpy(&links, node->link, sizeof links);
        const PhraseNode<Head>* const less = &nodes[links & 0xFFFF];
        const PhraseNode<Head>* const greater = &nodes[links >> 16];
        // Fetch both children while this node is decided.
        VRAX_PREFETCH(less);
        VRAX_PREFETCH(greater);
        end_node = node;
        const Head head = node->head;
        t += key_side == head;
        match_node = pick_if_equal(key_side, head, node, match_node);
        node = follow(key_side, head, less, greater);
        const Head next_key_side = pick_if_equal(key_side, head, longer_key_side, key_side);
        if (t > KEY_IN_HEAD) [[unlikely]] {
            // This node was equal to the key, which now no longer fits in a head.
            const SearchEnd found{std::uint32_t(match_node - nodes), t - 1,
                                  std::uint32_t(end_node - nodes), GREATER};
            return search_long_key(nodes, in, key, found, std::uint32_t(node - nodes));
        }
        key_side = next_key_side;
        longer_key_side = (key_bytes & HELD_BITS<Head>.bits[t + 1]) | (t + 1);
    }
    // The direction from the end node, found again once rather than kept at every node: a node
    // equal to the key sends the search the same way as the key one byte longer does.
    const std::uint32_t direction = follow(key_side, end_node->head, LESS, GREATER);
    return {std::uint32_t(match_node - nodes), t - 1, std::uint32_t(end_node - nodes), direction};
}

// Compresses one block with nodes whose heads are of type Head; `nodes` has room for every
// phrase number the block can give out. `short_phrases` are the tables of 2- and 3-byte phrases
// (see search), or null to search without them.
template <class Head>
CodecStatus compress_block(PhraseNode<Head>* nodes, ShortPhrases short_phrases,
                           std::uint8_t* root_text, const std::uint8_t* in,
                           std::uint32_t in_size, std::uint8_t* out, CodecResult* result) {
    using namespace vrax;
    // Only the roots are set; every later node is written when its number is given out and
    // reached only through links written in this call.
    for (std::uint32_t k = 0; k < vrax5::ROOT_COUNT; ++k) {
        root_text[k] = std::uint8_t(k);
        nodes[k] = PhraseNode<Head>{k, {0, 0}, 1};
    }

    write_block_header(out, BLOCK_CODED);
    std::uint8_t* op = out + BLOCK_HEADER_SIZE;
    std::uint32_t p = 0;
    if (in_size > vrax5::TAIL_LENGTH) {
        const std::uint32_t phrase_end = in_size - vrax5::TAIL_LENGTH;
        std::uint32_t number = vrax5::FIRST_PHRASE;
        if (short_phrases.pairs != nullptr) {
            std::memset(short_phrases.pairs, 0, vrax5::PAIR_COUNT * sizeof *short_phrases.pairs);
            std::memset(short_phrases.triples, 0,
                        vrax5::TRIPLE_COUNT * sizeof *short_phrases.triples);
            std::memset(short_phrases.quads, 0, vrax5::QUAD_COUNT * sizeof *short_phrases.quads);
        }
        do {
            // Coding stops paying once an item would start beyond n bytes of output.
            if (std::uint32_t(op - out) > in_size) {
                result->length = store_block(in, in_size, out);
                return CodecStatus::ok;
            }
            const SearchEnd found = search(nodes, short_phrases, in, in + p);
            op[0] = std::uint8_t(found.match >> 8);
            op[1] = std::uint8_t(found.match);
            op += vrax5::ITEM_SIZE;

            // The new phrase is the match plus the byte after it. It joins the tree at the
            // empty link where the search stopped, unless the search stopped at a 255-byte
            // phrase: then it keeps its number but stays out of the tree.
            PhraseNode<Head>& end = nodes[found.end];
            if ((end.head & HEAD_LENGTH_MASK) == vrax5::MAX_PHRASE_LENGTH) {
                nodes[number].head = 0;  // length 0: not in the tree
            } else {
                nodes[number] =
                    PhraseNode<Head>{p, {0, 0}, string_head<Head>(in + p, found.length + 1)};
                end.link[found.direction] = std::uint16_t(number);
                if (short_phrases.pairs != nullptr) {
                    if (found.length == 1) {
                        short_phrases.pairs[pair_index(in + p)] = std::uint16_t(number);
                    } else if (found.length == 2) {
                        const TripleSlot triple = triple_slot(in + p);
                        short_phrases.triples[triple.index] = triple.tag << 16 | number;
                    } else if (found.length == 3) {
                        short_phrases.quads[quad_index(in + p)] = quad_tag(in + p) << 16 | number;
                    }
                }
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

}  // namespace

CodecStatus vrax5_compress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                           std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (out_cap < vrax5::compress_bound(in_size)) [[unlikely]]
        return destination_too_small(result);
    if (in_size <= vrax5::SMALL_BLOCK_MAX) {
        // The program's blocks: wider heads decide more nodes without reading the text.
        constexpr std::uintptr_t LINE = vrax5::SMALL_BLOCK_ALIGNMENT;
        const auto address = reinterpret_cast<std::uintptr_t>(work_memory);
        auto* const tables =
            reinterpret_cast<vrax5::SmallBlockTables*>((address + LINE - 1) & ~(LINE - 1));
        const ShortPhrases short_phrases{tables->pairs, tables->triples, tables->quads};
        return compress_block(tables->nodes, short_phrases, tables->root_text, in, in_size, out,
                              result);
    }
    auto* const tables = aligned_work_memory<vrax5::AnyBlockTables>(work_memory);
    return compress_block(tables->nodes, ShortPhrases{nullptr, nullptr, nullptr},
                          tables->root_text, in, in_size, out, result);
}
