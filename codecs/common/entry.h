// What every codec's entry point does the same way: the identity record, the action switch and the
// destination check of a compressor.
#pragma once

#include <cstdint>

#include "codec.h"

namespace vrax {

// An identity record. The maker's texts are alike in every codec, and `notice` repeats the
// copyright.
constexpr AlgorithmIdentity make_identity(std::uint32_t id, std::uint32_t memory, const char* name,
                                          const char* version, const char* date) {
    constexpr const char* COPYRIGHT = "Copyright (c) the VRAX authors. Free to use, copy and modify.";
    constexpr const char* AUTHOR = "The VRAX authors";
    constexpr const char* AFFILIATION = "The VRAX project";
    return {id, memory, name, version, date, COPYRIGHT, AUTHOR, AFFILIATION, COPYRIGHT};
}

// The switch behind every codec_call: identify, compress, decompress, and nothing at all for any
// other action.
inline CodecStatus dispatch_action(const AlgorithmIdentity& identity, CodecRoutine* compress,
                                   CodecRoutine* decompress, std::uint16_t action,
                                   void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                                   std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    switch (action) {
        case ACTION_IDENTIFY:
            result->identity = &identity;
            return CodecStatus::ok;
        case ACTION_COMPRESS:
            return compress(work_memory, in, in_size, out, out_cap, result);
        case ACTION_DECOMPRESS:
            return decompress(work_memory, in, in_size, out, out_cap, result);
        default:
            return CodecStatus::ok;
    }
}

// A compressor given less room than its worst case: a caller's bug, reported, never overrun.
inline CodecStatus destination_too_small(CodecResult* result) {
    result->message = "internal error: compress destination smaller than the codec's bound";
    return CodecStatus::failed;
}

}  // namespace vrax
