// What a program needs to build a deliverable on the driver: how it reaches its codec, and the
// two static block buffers that the driver works in.
#pragma once

#include <cstdint>

#include "codec_handle.h"

namespace vrax {

// The two block buffers of a run, each `capacity` bytes: BLOCK_SIZE plus the slack.
struct BlockBuffers {
    std::uint8_t* input_block;
    std::uint8_t* output_block;
    std::uint32_t capacity;
    std::uint32_t block_size;
};

// The whole program: arguments, identity, working memory, files, one of the two loops.
// Returns the exit status (0 or 1).
int driver_main(int argc, char** argv, const CodecHandle& codec, const BlockBuffers& buffers);

// Static buffers, one pair per deliverable. Zero-initialised, so they cost no start-up time and
// only the pages that a run touches become resident.
template <std::uint32_t SIZE>
struct StaticBlocks {
    alignas(64) static inline std::uint8_t input_block[SIZE];
    alignas(64) static inline std::uint8_t output_block[SIZE];
};

}  // namespace vrax
