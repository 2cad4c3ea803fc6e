// Copies inside an output buffer with the format's forward semantics: byte k of a copy is read
// after byte k - 1 has been written, so a source that overlaps the destination repeats the bytes
// just written. Every variant here produces exactly the bytes of the one-byte-at-a-time loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vrax {

// The longest copy any control-word item asks for (length code 15 + 3).
inline constexpr std::uint32_t MAX_ITEM_COPY = 18;

// Bytes that copy_forward_wide may write from dst on, whatever len (≤ MAX_ITEM_COPY) it copies.
inline constexpr std::size_t WIDE_COPY_MAX = 32;

// The reference loop: exact, writes dst[0 .. len-1] only.
inline void copy_forward_exact(std::uint8_t* dst, const std::uint8_t* src, std::size_t len) {
    for (std::size_t k = 0; k < len; ++k) dst[k] = src[k];
}

// A copy of len ≤ MAX_ITEM_COPY bytes from src, which lies before dst in the same buffer, that
// may write garbage up to dst + WIDE_COPY_MAX (the caller guarantees that room). Chunks of 16 or
// 8 bytes are only used when the offset is at least the chunk width, so no chunk reads a byte that
// it has yet to write; offset 1 is a run of one byte.
inline void copy_forward_wide(std::uint8_t* dst, const std::uint8_t* src, std::size_t len) {
    std::size_t offset = std::size_t(dst - src);
    if (offset >= 16) {
        std::memcpy(dst, src, 16);
        std::memcpy(dst + 16, src + 16, 16);
    } else if (offset >= 8) {
        std::memcpy(dst, src, 8);
        std::memcpy(dst + 8, src + 8, 8);
        std::memcpy(dst + 16, src + 16, 8);
    } else if (offset == 1) {
        std::memset(dst, src[0], 24);
    } else {
        copy_forward_exact(dst, src, len);
    }
}
static_assert(WIDE_COPY_MAX >= 32 && WIDE_COPY_MAX >= 24, "widest chunked write above");

}  // namespace vrax
