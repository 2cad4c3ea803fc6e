// VRAX5 compressor: at each position, the longest phrase of the tree that the input starts with
// becomes the item, and the phrase extended by the next byte joins the tree where the search
// ended. The last 256 bytes of a block are written as single-byte items.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "block.h"
#include "bytes.h"
#include "compiler.h"
#include "entry.h"
#include "vrax5.h"
#include "vrax5_internal.h"
#include "work_memory.h"

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
// The search is bound by the latency from one node to the next, so its common case is free of
// branches that depend on the data.
template <class Head>
SearchEnd search(const PhraseNode<Head>* nodes, const std::uint8_t* in, const std::uint8_t* key) {
    constexpr std::uint32_t KEY_IN_HEAD = 1 + HEAD_BYTES<Head>;  // longest key a head holds
    // A root holds one byte, equal to key[0], and the key has two: always greater.
    const std::uint32_t match = key[0];
    std::uint32_t t = 2;
    const std::uint32_t next = nodes[match].link[GREATER];
    static_assert(KEY_IN_HEAD >= 3, "a head holds the first key");

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

// The tree of a block of any length, in nodes with 3 bytes of each phrase in the head.
class PhraseTree {
public:
    using Node = PhraseNode<std::uint32_t>;

    PhraseTree(vrax5::AnyBlockTables& tables, const std::uint8_t* in)
        : nodes_(tables.nodes), in_(in) {
        // Only the roots are set; every later node is written when its number is given out and
        // reached only through links written in this call.
        for (std::uint32_t k = 0; k < vrax5::ROOT_COUNT; ++k) {
            tables.root_text[k] = std::uint8_t(k);
            nodes_[k] = Node{k, {0, 0}, 1};
        }
    }

    // The item at p: the match's phrase number and length. Numbers phrase `number`, the match
    // plus the byte after it, and enters it at the empty link where the search stopped, unless
    // the search stopped at a 255-byte phrase: then the number is given out unused.
    vrax5::Match code(std::uint32_t p, std::uint32_t number) {
        const SearchEnd found = search(nodes_, in_, in_ + p);
        Node& end = nodes_[found.end];
        if ((end.head & HEAD_LENGTH_MASK) == vrax5::MAX_PHRASE_LENGTH) {
            nodes_[number].head = 0;  // length 0: not in the tree
        } else {
            nodes_[number] = Node{p, {0, 0}, string_head<std::uint32_t>(in_ + p, found.length + 1)};
            end.link[found.direction] = std::uint16_t(number);
        }
        return {found.match, found.length};
    }

private:
    Node* nodes_;
    const std::uint8_t* in_;
};

// The tree of a block of the program's size, kept as the trie of its phrases (see
// SmallBlockTables). The search of the tree yields the longest phrase that the input starts with:
// the tree orders its phrases as strings, and every prefix of a phrase in it is in it. The new
// phrase X, the match plus the next byte, would join the tree below the later-numbered of its
// neighbours in that order, the greatest phrase less than X and the least greater one (of two
// neighbours in a binary search tree, the later one is the deeper, and its link towards X is
// empty). It stays out of the tree when that neighbour has 255 bytes. In the trie the neighbour
// below X is the last phrase under X's next smaller sibling (or the match itself), and the one
// above is X's next greater sibling (or, lacking one, the next greater sibling of the nearest
// ancestor that has one). Only nodes that have a 255-byte phrase below them can have such a
// neighbour; those are marked and keep a bitmap of their children to find siblings at once.
class PhraseTrie {
public:
    // True when a node could not be marked: the block's items may be wrong from there on, though
    // nothing outside the tables was touched.
    bool out_of_child_sets() const { return out_of_child_sets_; }

    PhraseTrie(vrax5::SmallBlockTables& tables, const std::uint8_t* in) : t_(tables), in_(in) {
        std::memset(t_.pairs, 0, sizeof t_.pairs);
        std::memset(t_.edge_slots, 0, sizeof t_.edge_slots);
        for (std::uint32_t k = 0; k < vrax5::ROOT_COUNT; ++k)
            t_.nodes[k] = vrax5::TrieNode{0, 0, 1, 0};
    }

    // The item at p, as PhraseTree::code.
    VRAX_ALWAYS_INLINE vrax5::Match code(std::uint32_t p, std::uint32_t number) {
        const std::uint8_t* const key = in_ + p;
        // path[j] is the node of the first j bytes at key, for j = 1 to m.
        std::uint16_t path[vrax5::MAX_PHRASE_LENGTH + 1];
        std::uint32_t m = 1;
        std::uint32_t node = key[0];
        path[1] = std::uint16_t(node);
        // The marks of a path run from its root down, and the 256 roots stay in the cache; an
        // unmarked root means that no node below it needs more than the common work.
        const bool marked_root = t_.nodes[node].child_set != 0;
        std::uint32_t slot = 0;  // where the new phrase's edge goes, for one of 3 or more bytes
        if (const std::uint32_t pair = t_.pairs[pair_index(key)]; pair != 0) {
            node = pair;
            m = 2;
            path[2] = std::uint16_t(node);
            for (; m < vrax5::MAX_PHRASE_LENGTH; ++m) {
                const std::uint32_t edge = node << 8 | key[m];
                slot = home_slot(edge);
                std::uint32_t child;
                while ((child = t_.edge_slots[slot]) != 0 && t_.edges[child] != edge)
                    slot = (slot + 1) & (vrax5::EDGE_SLOTS - 1);
                if (child == 0) break;
                node = child;
                path[m + 1] = std::uint16_t(node);
            }
        }
        if (m < vrax5::MAX_PHRASE_LENGTH && !(marked_root && left_out(path, m, key))) {
            add(path, m, key, slot, number, marked_root);
        } else {
            t_.edges[number] = NOT_IN_TRIE;
        }
        return {node, m};
    }

private:
    // The edge of a phrase number given out unused.
    static constexpr std::uint32_t NOT_IN_TRIE = ~std::uint32_t(0);

    static std::uint32_t pair_index(const std::uint8_t* p) {
        return std::uint32_t(p[0]) << 8 | p[1];
    }
    static std::uint32_t home_slot(std::uint32_t edge) {
        return edge * 0x9E3779B1u >> (32 - vrax5::EDGE_SLOT_BITS);
    }

    // The child of `node` whose last byte is `byte`, 0 for none.
    std::uint32_t child(std::uint32_t node, std::uint32_t byte) const {
        if (node < vrax5::ROOT_COUNT) return t_.pairs[node << 8 | byte];
        const std::uint32_t edge = node << 8 | byte;
        std::uint32_t slot = home_slot(edge), found;
        while ((found = t_.edge_slots[slot]) != 0 && t_.edges[found] != edge)
            slot = (slot + 1) & (vrax5::EDGE_SLOTS - 1);
        return found;
    }

    // The greatest byte below `byte`, or the least above it, of the children of a node with a
    // bitmap; -1 for none.
    int child_below(std::uint32_t node, std::uint32_t byte) const {
        const std::uint64_t* const bits = t_.child_sets[t_.nodes[node].child_set].bits;
        for (int w = int(byte >> 6); w >= 0; --w) {
            std::uint64_t x = bits[w];
            if (w == int(byte >> 6)) x &= (std::uint64_t(1) << (byte & 63)) - 1;
            if (x != 0) return w * 64 + 63 - std::countl_zero(x);
        }
        return -1;
    }
    int child_above(std::uint32_t node, std::uint32_t byte) const {
        const std::uint64_t* const bits = t_.child_sets[t_.nodes[node].child_set].bits;
        for (int w = int(byte >> 6); w < 4; ++w) {
            std::uint64_t x = bits[w];
            if (w == int(byte >> 6)) x &= ~std::uint64_t(1) << (byte & 63);
            if (x != 0) return w * 64 + std::countr_zero(x);
        }
        return -1;
    }

    // Whether the phrase of the m + 1 bytes at key, whose first m are the match path[m], stays
    // out of the tree (see the class comment). Only a marked node has a 255-byte phrase below
    // it, so only below a marked match can a neighbour have 255 bytes: the greater one when it
    // is a sibling of 255 bytes, the less one when it is the last phrase below a marked sibling
    // (or that sibling itself, when it has 255 bytes). Every node of the path is marked then.
    // Asked only below a marked root, and kept out of line so that the common search keeps its
    // values in registers.
    VRAX_NOINLINE bool left_out(const std::uint16_t* path, std::uint32_t m,
                                const std::uint8_t* key) const {
        const std::uint32_t match = path[m];
        if (t_.nodes[match].child_set == 0) return false;
        const std::uint32_t byte = key[m];
        const int below = child_below(match, byte);
        std::uint32_t less = match;
        if (below >= 0) {
            less = child(match, std::uint32_t(below));
            if (const std::uint32_t set = t_.nodes[less].child_set; set != 0)
                less = t_.child_sets[set].last;
        }
        std::uint32_t greater = 0;  // none
        for (std::uint32_t j = m; j >= 1; --j) {
            if (const int above = child_above(path[j], key[j]); above >= 0) {
                greater = child(path[j], std::uint32_t(above));
                break;
            }
        }
        const std::uint32_t deeper = std::max(less, greater);
        return t_.nodes[deeper].length == vrax5::MAX_PHRASE_LENGTH;
    }

    // Enters phrase `number`, the m + 1 bytes at key, as a child of path[m]. `slot` is the empty
    // edge slot where its search for the (m + 1)th byte ended (for m ≥ 2).
    VRAX_ALWAYS_INLINE void add(const std::uint16_t* path, std::uint32_t m, const std::uint8_t* key,
                                std::uint32_t slot, std::uint32_t number, bool marked_root) {
        const std::uint32_t parent = path[m];
        const std::uint32_t byte = key[m];
        if (m == 1) {
            t_.pairs[pair_index(key)] = std::uint16_t(number);
        } else {
            t_.edge_slots[slot] = std::uint16_t(number);
        }
        t_.edges[number] = parent << 8 | byte;
        t_.nodes[number] = vrax5::TrieNode{0, 0, std::uint8_t(m + 1), 0};
        // Only below a marked root does a parent learn of its new child at once (see TrieNode).
        if (marked_root) [[unlikely]] note_child(path, m, key, number);
        if (m + 1 == vrax5::MAX_PHRASE_LENGTH) [[unlikely]] mark(path, m, key, number);
    }

    // The parent's count and greatest child, its bitmap when it is marked, and the last phrase
    // of marked ancestors, for phrase `number`, new below a marked root.
    VRAX_NOINLINE void note_child(const std::uint16_t* path, std::uint32_t m,
                                  const std::uint8_t* key, std::uint32_t number) {
        vrax5::TrieNode& up = t_.nodes[path[m]];
        const std::uint32_t byte = key[m];
        const bool greatest = byte + 1 > up.greatest_child;
        up.greatest_child = std::max(up.greatest_child, std::uint16_t(byte + 1));
        up.children = std::uint8_t(up.children + (up.children != 255));
        if (up.child_set != 0) set_bit(up.child_set, byte);
        if (greatest) update_last(path, m, key, number);
    }

    // Counts again the children of every node, and finds its greatest child, from the edges of
    // the phrases up to `number`.
    void count_children(std::uint32_t number) {
        for (std::uint32_t c = 0; c <= number; ++c) {
            t_.nodes[c].greatest_child = 0;
            t_.nodes[c].children = 0;
        }
        for (std::uint32_t c = vrax5::FIRST_PHRASE; c <= number; ++c) {
            const std::uint32_t edge = t_.edges[c];
            if (edge == NOT_IN_TRIE) continue;
            vrax5::TrieNode& up = t_.nodes[edge >> 8];
            up.greatest_child = std::max(up.greatest_child, std::uint16_t((edge & 0xFF) + 1));
            up.children = std::uint8_t(up.children + (up.children != 255));
        }
    }

    void set_bit(std::uint32_t child_set, std::uint32_t byte) {
        t_.child_sets[child_set].bits[byte >> 6] |= std::uint64_t(1) << (byte & 63);
    }

    // The new greatest child of path[m], `number`, becomes the last phrase below each marked
    // node from which the path down to it takes the greatest child at every step.
    void update_last(const std::uint16_t* path, std::uint32_t m, const std::uint8_t* key,
                     std::uint32_t number) {
        for (std::uint32_t j = m;; --j) {
            if (const std::uint32_t set = t_.nodes[path[j]].child_set; set != 0)
                t_.child_sets[set].last = std::uint16_t(number);
            if (j == 1 || t_.nodes[path[j - 1]].greatest_child != key[j - 1] + 1u) return;
        }
    }

    // Marks every node of the path down to a new 255-byte phrase that is not marked yet (the
    // marked ones are on the path of an earlier 255-byte phrase, and so are their ancestors),
    // giving it the bitmap of its children and its last phrase.
    VRAX_NOINLINE void mark(const std::uint16_t* path, std::uint32_t m, const std::uint8_t* key,
                            std::uint32_t number) {
        // At most two roots are marked in a block: the nodes on the way to a 255-byte phrase
        // take some 32 KiB of input to make.
        if (t_.nodes[path[1]].child_set == 0) count_children(number);
        for (std::uint32_t j = m; j >= 1 && t_.nodes[path[j]].child_set == 0; --j) {
            // The nodes on the way to 255-byte phrases take so much input that a block marks
            // about 520 at most; should that count ever fail, the block is coded again with the
            // tree (see vrax5_compress) rather than a bitmap written past the pool.
            if (next_child_set_ == vrax5::CHILD_SET_COUNT) [[unlikely]] {
                out_of_child_sets_ = true;
                return;
            }
            vrax5::TrieNode& node = t_.nodes[path[j]];
            node.child_set = std::uint16_t(next_child_set_++);
            vrax5::ChildSet& set = t_.child_sets[node.child_set];
            std::fill(set.bits, set.bits + 4, 0);
            // Its children's bytes, looked up from the greatest down until all are found (all
            // bytes for a node of 255 or more children).
            std::uint32_t left = node.children == 255 ? 256 : node.children;
            for (std::uint32_t byte = node.greatest_child; left != 0 && byte-- != 0;) {
                if (child(path[j], byte) != 0) {
                    set_bit(node.child_set, byte);
                    --left;
                }
            }
            // The last phrase below: that of the child on the path, marked just before, or a
            // walk down the greatest children of another.
            std::uint32_t last = child(path[j], node.greatest_child - 1u);
            if (node.greatest_child == key[j] + 1u && j < m) {
                last = t_.child_sets[t_.nodes[last].child_set].last;
            } else {
                while (t_.nodes[last].greatest_child != 0)
                    last = child(last, t_.nodes[last].greatest_child - 1u);
            }
            set.last = std::uint16_t(last);
        }
    }

    vrax5::SmallBlockTables& t_;
    const std::uint8_t* in_;
    std::uint32_t next_child_set_ = 1;
    bool out_of_child_sets_ = false;
};

// Codes one block with a PhraseTree or a PhraseTrie.
template <class Phrases>
CodecStatus compress_block(Phrases& phrases, const std::uint8_t* in, std::uint32_t in_size,
                           std::uint8_t* out, CodecResult* result) {
    using namespace vrax;
    write_block_header(out, BLOCK_CODED);
    std::uint8_t* op = out + BLOCK_HEADER_SIZE;
    std::uint32_t p = 0;
    if (in_size > vrax5::TAIL_LENGTH) {
        const std::uint32_t phrase_end = in_size - vrax5::TAIL_LENGTH;
        std::uint32_t number = vrax5::FIRST_PHRASE;
        // Coding stops paying once an item would start beyond n bytes of output: item `number`
        // starts at BLOCK_HEADER_SIZE + (number - FIRST_PHRASE) * ITEM_SIZE.
        const std::uint32_t last_paying =
            vrax5::FIRST_PHRASE + (in_size - std::uint32_t(BLOCK_HEADER_SIZE)) / vrax5::ITEM_SIZE;
        do {
            if (number > last_paying) {
                result->length = store_block(in, in_size, out);
                return CodecStatus::ok;
            }
            const vrax5::Match match = phrases.code(p, number);
            op[0] = std::uint8_t(match.phrase >> 8);
            op[1] = std::uint8_t(match.phrase);
            op += vrax5::ITEM_SIZE;
            if (++number == vrax5::PHRASE_COUNT) [[unlikely]] {
                result->message = vrax5::MESSAGE_OUT_OF_NODES;
                return CodecStatus::failed;
            }
            p += match.length;
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
        constexpr std::uintptr_t LINE = vrax5::SMALL_BLOCK_ALIGNMENT;
        const auto address = reinterpret_cast<std::uintptr_t>(work_memory);
        auto* const tables =
            reinterpret_cast<vrax5::SmallBlockTables*>((address + LINE - 1) & ~(LINE - 1));
        PhraseTrie trie(*tables, in);
        const CodecStatus status = compress_block(trie, in, in_size, out, result);
        if (!trie.out_of_child_sets()) [[likely]]
            return status;
    }
    auto* const tables = aligned_work_memory<vrax5::AnyBlockTables>(work_memory);
    PhraseTree tree(*tables, in);
    return compress_block(tree, in, in_size, out, result);
}
