// The codecs that the fuzz targets and the seed maker exercise. Adding a codec to them is one line
// in the table (and its header below).
#pragma once

#include <cstdint>

#include "codec.h"
#include "driver.h"
#include "vrax1.h"
#include "vrax1a.h"
#include "vrax2.h"
#include "vrax3.h"
#include "vrax3a.h"
#include "vrax5.h"

namespace vrax::fuzz {

struct FuzzCodec {
    const char* name;
    CodecCall* call;             // the entry point; null for a direct-call codec (VRAX1)
    CodecRoutine* compress;      // direct-call codecs only
    CodecRoutine* decompress;    // direct-call codecs only
    std::uint32_t block_size;    // the smallest BLOCK_SIZE of the codec's programs
    std::uint32_t slack;         // room its programs' buffers have beyond BLOCK_SIZE
    std::uint32_t compress_room; // a compress destination needs in_size + this many bytes
    std::uint32_t max_growth;    // a compressed block has at most in_size + this many bytes
};

// Control-word codecs: a compress destination needs in_size + 32 (one group's overrun before
// the stored fallback), and no block is longer than the stored form, in_size + 4. VRAX5 codes a
// block's tail without the overrun test, so its blocks reach in_size + 514, as does its room.
inline constexpr FuzzCodec FUZZ_CODECS[] = {
    {"vrax1a", vrax1a_codec_call, nullptr, nullptr, 1u << 20, BLOCK_SLACK, 32, 4},
    {"vrax1", nullptr, vrax1_compress, vrax1_decompress, 1u << 20, DIRECT_CALL_SLACK, 32, 4},
    {"vrax2", vrax2_codec_call, nullptr, nullptr, 1u << 20, BLOCK_SLACK, 32, 4},
    {"vrax3", vrax3_codec_call, nullptr, nullptr, 1u << 16, BLOCK_SLACK, 32, 4},
    {"vrax3a", vrax3a_codec_call, nullptr, nullptr, 1u << 20, BLOCK_SLACK, 32, 4},
    {"vrax5", vrax5_codec_call, nullptr, nullptr, 1u << 16, BLOCK_SLACK, 514, 514},
};

inline constexpr std::uint32_t FUZZ_CODEC_COUNT = sizeof FUZZ_CODECS / sizeof FUZZ_CODECS[0];

}  // namespace vrax::fuzz
