// What a program needs to build a deliverable on the driver: how it reaches its codec, and the
// two static block buffers that the driver works in.
#pragma once

#include <cstdint>

#include "codec.h"

namespace vrax {

// How the driver reaches its codec. Eight programs go through an entry point (identity record,
// working memory); VRAX1's program calls two routines directly and has neither.
struct CodecBinding {
    CodecCall* codec_call;      // null for a direct-call program
    CodecRoutine* compress;     // direct-call programs only
    CodecRoutine* decompress;   // direct-call programs only
};

// Calls one of the codec's block routines as the driver does: through the entry point, with the
// working memory, or directly for a direct-call program, which has none.
inline CodecStatus call_codec_routine(const CodecBinding& codec, std::uint16_t action,
                                      void* work_memory, const std::uint8_t* in,
                                      std::uint32_t in_size, std::uint8_t* out,
                                      std::uint32_t out_cap, CodecResult* result) {
    if (codec.codec_call != nullptr)
        return codec.codec_call(action, work_memory, in, in_size, out, out_cap, result);
    CodecRoutine* routine = action == ACTION_COMPRESS ? codec.compress : codec.decompress;
    return routine(nullptr, in, in_size, out, out_cap, result);
}

// The bytes of working memory that the codec's identity declares; 0 for a direct-call program.
inline std::uint32_t working_memory_size(const CodecBinding& codec) {
    if (codec.codec_call == nullptr) return 0;
    CodecResult identity{};
    codec.codec_call(ACTION_IDENTIFY, nullptr, nullptr, 0, nullptr, 0, &identity);
    return identity.identity->memory;
}

// The two block buffers of a run, each `capacity` bytes: BLOCK_SIZE plus the slack.
struct BlockBuffers {
    std::uint8_t* input_block;
    std::uint8_t* output_block;
    std::uint32_t capacity;
    std::uint32_t block_size;
};

// The whole program: arguments, identity, working memory, files, one of the two loops.
// Returns the exit status (0 or 1).
int driver_main(int argc, char** argv, const CodecBinding& codec, const BlockBuffers& buffers);

// Static buffers, one pair per deliverable. Zero-initialised, so they cost no start-up time and
// only the pages that a run touches become resident.
template <std::uint32_t SIZE>
struct StaticBlocks {
    alignas(64) static inline std::uint8_t input_block[SIZE];
    alignas(64) static inline std::uint8_t output_block[SIZE];
};

}  // namespace vrax
