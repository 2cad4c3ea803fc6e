// The block header and the stored form, which every codec writes and reads alike.
#pragma once

#include <cstdint>
#include <cstring>

#include "codec.h"

namespace vrax {

inline void write_block_header(std::uint8_t* out, std::uint8_t flag) {
    out[0] = flag;
    out[1] = out[2] = out[3] = 0;
}

// The stored form: flag BLOCK_STORED, three zero bytes, the input verbatim. Returns its length.
inline std::uint32_t store_block(const std::uint8_t* in, std::uint32_t n, std::uint8_t* out) {
    write_block_header(out, BLOCK_STORED);
    if (n != 0) std::memcpy(out + BLOCK_HEADER_SIZE, in, n);
    return n + std::uint32_t(BLOCK_HEADER_SIZE);
}

// True when the block has a header and its body is coded items (any flag but BLOCK_STORED).
inline bool is_coded_block(const std::uint8_t* in, std::uint32_t in_size) {
    return in_size >= BLOCK_HEADER_SIZE && in[0] != BLOCK_STORED;
}

// Decodes a block that is_coded_block rejects: a stored block, or one too short for a header.
inline CodecStatus decode_stored_block(const std::uint8_t* in, std::uint32_t in_size,
                                       std::uint8_t* out, std::uint32_t out_cap,
                                       CodecResult* result) {
    if (in_size < BLOCK_HEADER_SIZE) [[unlikely]]
        return CodecStatus::malformed;
    std::uint32_t n = in_size - std::uint32_t(BLOCK_HEADER_SIZE);
    if (n > out_cap) [[unlikely]]
        return CodecStatus::too_long;
    if (n != 0) std::memcpy(out, in + BLOCK_HEADER_SIZE, n);
    result->length = n;
    return CodecStatus::ok;
}

}  // namespace vrax
