// Unaligned loads and stores, and the word-at-a-time match length shared by the compressors.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vrax {

static_assert(std::endian::native == std::endian::little,
              "the word-at-a-time helpers assume a little-endian machine");

inline std::uint16_t load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, sizeof v); }

// Number of leading bytes on which a and b agree, at most 18. Reads a[0..17] and b[0..17] and
// nothing beyond, so both strings must have 18 readable bytes.
inline std::uint32_t match_length_18(const std::uint8_t* a, const std::uint8_t* b) {
    std::uint64_t x = load64(a) ^ load64(b);
    if (x != 0) return std::uint32_t(std::countr_zero(x)) >> 3;
    x = load64(a + 8) ^ load64(b + 8);
    if (x != 0) return 8 + (std::uint32_t(std::countr_zero(x)) >> 3);
    std::uint32_t y = std::uint32_t(load16(a + 16) ^ load16(b + 16));
    if (y != 0) return 16 + (std::uint32_t(std::countr_zero(y)) >> 3);
    return 18;
}

// The same, given x = load64(a) ^ load64(b), for at most MAX_LEN (16 or 18) bytes: the test of a
// candidate's first bytes and its length come from the same loads. Reads a[0..MAX_LEN - 1] and
// b[0..MAX_LEN - 1].
template <std::uint32_t MAX_LEN>
inline std::uint32_t match_length_after(std::uint64_t x, const std::uint8_t* a,
                                        const std::uint8_t* b) {
    static_assert(MAX_LEN == 16 || MAX_LEN == 18);
    if (x != 0) return std::uint32_t(std::countr_zero(x)) >> 3;
    x = load64(a + 8) ^ load64(b + 8);
    if (x != 0) return 8 + (std::uint32_t(std::countr_zero(x)) >> 3);
    if constexpr (MAX_LEN == 18) {
        std::uint32_t y = std::uint32_t(load16(a + 16) ^ load16(b + 16));
        if (y != 0) return 16 + (std::uint32_t(std::countr_zero(y)) >> 3);
    }
    return MAX_LEN;
}

// The same for copies of at most 16 bytes. Reads a[0..15] and b[0..15].
inline std::uint32_t match_length_16(const std::uint8_t* a, const std::uint8_t* b) {
    std::uint64_t x = load64(a) ^ load64(b);
    if (x != 0) return std::uint32_t(std::countr_zero(x)) >> 3;
    x = load64(a + 8) ^ load64(b + 8);
    if (x != 0) return 8 + (std::uint32_t(std::countr_zero(x)) >> 3);
    return 16;
}

}  // namespace vrax
