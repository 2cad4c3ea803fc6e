// VRAX5's constants and table layouts, shared by its sources and its tests.
#pragma once

#include <cstdint>

namespace vrax5 {

// Phrase numbers 0 to 255 are the single bytes; the items of a block number 256, 257, ... .
inline constexpr std::uint32_t ROOT_COUNT = 256;
inline constexpr std::uint32_t FIRST_PHRASE = ROOT_COUNT;
inline constexpr std::uint32_t PHRASE_COUNT = 65536;
// A phrase holds at most 255 bytes; the compressor seeks no longer match.
inline constexpr std::uint32_t MAX_PHRASE_LENGTH = 255;
// The last 256 bytes of a block are never searched: a search at P reads up to P + 254 and the
// new phrase ends at P + 255 at most, so P < n - 256 keeps both inside the block.
inline constexpr std::uint32_t TAIL_LENGTH = 256;
// Items are 2 bytes. Before every item of the phrase part the output stays within n bytes, so
// the phrase part ends by n + 2 bytes, and the tail (never tested) adds up to 2 × 256.
inline constexpr std::uint32_t ITEM_SIZE = 2;
inline constexpr std::uint32_t BOUND_EXTRA = ITEM_SIZE + ITEM_SIZE * TAIL_LENGTH;
static_assert(BOUND_EXTRA == 514);

inline constexpr std::uint64_t compress_bound(std::uint32_t n) {
    return std::uint64_t(n) + BOUND_EXTRA;
}

inline constexpr const char* MESSAGE_ODD_LENGTH = "vrax5_decompress: Input block is of odd length.";
inline constexpr const char* MESSAGE_ODD_ALIGNED = "vrax5_decompress: Input block is odd aligned.";
inline constexpr const char* MESSAGE_NO_RUN = "unroll==0.";
inline constexpr const char* MESSAGE_OUT_OF_NODES = "Ran out of nodes.";

// An item: the phrase it names and that phrase's length.
struct Match {
    std::uint32_t phrase;
    std::uint32_t length;
};

// Directions in the tree, also the index of the link that a search follows.
inline constexpr std::uint32_t LESS = 0;
inline constexpr std::uint32_t GREATER = 1;

// One phrase of the compressor's tree, indexed by phrase number. `text` is the offset in the
// input block of the phrase's first byte; root k's text is k, the offset of its byte in
// root_text, and is never read (every phrase in root k's tree starts with byte k). A link of 0
// means no child, since phrase 0 is a root and never anyone's child.
//
// `head` holds the phrase's length (1 to 255; 0 for a phrase that was numbered but left out of
// the tree) in its low byte and, above it, the phrase's bytes from byte 1 on, byte 1 highest, as
// many as fit (7 in a 64-bit head, 3 in a 32-bit one) and zero past the phrase's end. Comparing
// two heads as integers then orders the phrases they hold (see search), so a search decides
// most nodes without reading the phrase's text.
template <class Head>
struct PhraseNode {
    std::uint32_t text;
    std::uint16_t link[2];  // [LESS], [GREATER]
    Head head;
};
static_assert(sizeof(PhraseNode<std::uint32_t>) == 12);
static_assert(sizeof(PhraseNode<std::uint64_t>) == 16);

inline constexpr std::uint32_t HEAD_LENGTH_MASK = 0xFF;

// Any block: every phrase number has a node, in 12-byte nodes with 3 bytes in the head.
struct AnyBlockTables {
    PhraseNode<std::uint32_t> nodes[PHRASE_COUNT];
    std::uint8_t root_text[ROOT_COUNT];  // byte k holds k
};

// A block of at most 64 KiB writes at most (65536 - 4) / 2 + 1 items before the abandon test
// stops it, so it numbers phrases below 33,023. Its tree is kept as a trie instead: the phrases
// in the tree are closed under prefixes (a new phrase is a match plus one byte), so the search's
// match is the longest phrase the input starts with, found one byte at a time, and where the new
// phrase would join the tree matters only when that place is a 255-byte phrase (see the
// compressor). Each phrase's node is found from its parent's and its last byte.
inline constexpr std::uint32_t SMALL_BLOCK_MAX = 65536;
inline constexpr std::uint32_t SMALL_BLOCK_NODES =
    FIRST_PHRASE + (SMALL_BLOCK_MAX - 4) / ITEM_SIZE + 1;
// The node of every 2-byte phrase, indexed by its bytes.
inline constexpr std::uint32_t PAIR_COUNT = 65536;
// The nodes of longer phrases, in an open-addressed hash table of their (parent, last byte)
// edges, at most half full.
inline constexpr std::uint32_t EDGE_SLOT_BITS = 16;
inline constexpr std::uint32_t EDGE_SLOTS = 1u << EDGE_SLOT_BITS;
static_assert(2 * (SMALL_BLOCK_NODES - ROOT_COUNT) <= EDGE_SLOTS);
// Nodes with a 255-byte phrase below them are marked: they keep a bitmap of their children's
// last bytes and their last phrase. Each such node of length d below a root was made by an item that matched d - 1 bytes, every node
// of that set but the 255-byte ones has a child in it, and a block holds fewer than 65,536 bytes
// to match: so no block has more than about 520 of them.
inline constexpr std::uint32_t CHILD_SET_COUNT = 1024;

// What the trie keeps per phrase number. Only nodes below a marked root keep their count of
// children and their greatest child up to date; a root's nodes are counted again when it is
// marked, so that a new phrase does not touch its parent's node.
struct TrieNode {
    std::uint16_t child_set;       // marked: its ChildSet; else 0
    std::uint16_t greatest_child;  // 1 + the last byte of its greatest child; 0 for no child
    std::uint8_t length;           // 1 to 255
    std::uint8_t children;         // how many children it has, up to 255
};
// What a marked node keeps besides.
struct ChildSet {
    std::uint64_t bits[4];  // bit b set when it has a child whose last byte is b
    std::uint16_t last;     // the greatest phrase below it
};

struct SmallBlockTables {
    std::uint16_t pairs[PAIR_COUNT];
    std::uint16_t edge_slots[EDGE_SLOTS];
    std::uint32_t edges[SMALL_BLOCK_NODES];  // parent << 8 | last byte, for phrases of 2+ bytes
    TrieNode nodes[SMALL_BLOCK_NODES];
    ChildSet child_sets[CHILD_SET_COUNT];  // [0] is never given out
};
inline constexpr std::uint32_t SMALL_BLOCK_ALIGNMENT = 64;

// The decompressor's view of the same memory. A phrase's start is an offset into the output; a
// root phrase is decoded from its number, so its start is never read.
struct DecompressorTables {
    std::uint32_t phrase_start[PHRASE_COUNT];
    // Kept to 8 bits as the format does: a phrase one byte longer than a 256-byte one reads as
    // 0, a single byte. Only blocks the compressor does not write name such phrases.
    std::uint8_t phrase_length_less_one[PHRASE_COUNT];
};

// 786,432 bytes of 12-byte nodes, 256 of root text, and 3 for the alignment of the working
// memory; the program's blocks use less (the trie's tables and up to 63 bytes of alignment).
inline constexpr std::uint32_t WORK_SIZE = 786752;
static_assert(sizeof(AnyBlockTables) + 3 <= WORK_SIZE);
static_assert(sizeof(SmallBlockTables) + SMALL_BLOCK_ALIGNMENT - 1 <= WORK_SIZE);
static_assert(sizeof(DecompressorTables) + 3 <= WORK_SIZE);

}  // namespace vrax5
