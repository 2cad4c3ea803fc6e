// The three-byte hash that VRAX1, VRAX1-A, VRAX2, VRAX3 and VRAX3-A index their tables with.
#pragma once

#include <cstdint>

namespace vrax {

// The product from which every codec takes its table index: the three bytes folded into 16 bits
// as (b0 << 8) ^ (b1 << 4) ^ b2, times HASH3_FACTOR. It never exceeds 32 bits.
inline constexpr std::uint32_t HASH3_FACTOR = 40543;
inline std::uint32_t hash3_product(std::uint32_t b0, std::uint32_t b1, std::uint32_t b2) {
    return (b0 << 8 ^ b1 << 4 ^ b2) * HASH3_FACTOR;
}
inline std::uint32_t hash3_product(const std::uint8_t* p) {
    return hash3_product(p[0], p[1], p[2]);
}

// 12-bit slot of a 4096-entry table (VRAX1, VRAX1-A, VRAX2, VRAX3): bits 4 to 15 of the product.
inline constexpr std::uint32_t HASH3_SLOT_SHIFT = 4;
inline constexpr std::uint32_t HASH3_SLOT_MASK = 0xFFF;
inline std::uint32_t slot_of_product(std::uint32_t product) {
    return product >> HASH3_SLOT_SHIFT & HASH3_SLOT_MASK;
}
inline std::uint32_t hash3_slot(const std::uint8_t* p) { return slot_of_product(hash3_product(p)); }

}  // namespace vrax
