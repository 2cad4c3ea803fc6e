// Table entries that carry, above a block position, a tag of the three bytes found there
// (compressor of VRAX2). A copy needs three agreeing bytes, so an entry whose tag differs from the
// tag of the current three bytes names no candidate: the compressor codes a literal without
// loading the candidate, and that load leaves the chain from one item to the next.
//
// An entry is tag | position, or FILL_POSITION. The tag of the fill string's first three bytes
// is all ones, so FILL_POSITION reads as an entry with that tag. The position takes as many
// low bits as the block needs. A block longer than 2^31 bytes leaves no bits for tags: then every
// tag is 0 and every entry passes.
#pragma once

#include <bit>
#include <cstdint>

#include "bytes.h"
#include "fill_string.h"

namespace vrax {

namespace tagged_position_detail {
// Three bytes as a little-endian number, times an odd constant; the high bits depend on all three.
constexpr std::uint32_t hash(std::uint32_t three_bytes) { return three_bytes * 0x9E3779B1u; }
// Turns the hash of the fill string's first three bytes into all ones.
inline constexpr std::uint32_t FILL_FLIP =
    ~hash(std::uint32_t(FILL_STRING[0]) | std::uint32_t(FILL_STRING[1]) << 8 |
          std::uint32_t(FILL_STRING[2]) << 16);
}  // namespace tagged_position_detail

// A hash of the three bytes at p whose high bits depend on all three and are all ones for the
// fill string's first three bytes; tags are its high bits. Reads p[0..3].
inline std::uint32_t tag_hash(const std::uint8_t* p) {
    using namespace tagged_position_detail;
    return hash(load32(p) & 0xFFFFFF) ^ FILL_FLIP;
}

class TaggedPositions {
public:
    explicit TaggedPositions(std::uint32_t in_size)
        : tag_mask_(tag_mask(in_size)), position_mask_(~tag_mask_) {}

    // The tag of the three bytes at p: the high bits of their hash. Reads p[0..3].
    std::uint32_t tag(const std::uint8_t* p) const { return tag_hash(p) & tag_mask_; }

    // The entry that `position` takes with `tag`: the tag above it.
    static std::uint32_t tagged(std::uint32_t tag, std::uint32_t position) {
        return tag | position;
    }

    // False when `entry` cannot name three bytes whose tag is `tag`.
    bool may_match(std::uint32_t entry, std::uint32_t tag) const {
        return ((entry ^ tag) & tag_mask_) == 0;
    }

    // The candidate bytes of an entry: a block position or the padded fill string.
    const std::uint8_t* bytes(const std::uint8_t* in, std::uint32_t entry) const {
        return entry == FILL_POSITION ? FILL_STRING_PADDED.data() : in + (entry & position_mask_);
    }

private:
    // The bits above the positions of a block of in_size bytes. Positions are below
    // in_size - 17 < 2^bits - 1, so no entry but the fill string's has all position bits set.
    static std::uint32_t tag_mask(std::uint32_t in_size) {
        return std::uint32_t(~std::uint64_t(0) << std::bit_width(in_size - 1));
    }

    std::uint32_t tag_mask_;
    std::uint32_t position_mask_;
};

}  // namespace vrax
