// Every deliverable as data: its name, its codec, its block size and the slack of its buffers.
// programs/<name>.cpp builds its program from its row; the library, the tests and the benchmark
// read the same rows, so a format is described once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "codec_handle.h"
#include "driver.h"
#include "vrax1.h"
#include "vrax1a.h"
#include "vrax2.h"
#include "vrax3.h"
#include "vrax3a.h"
#include "vrax5.h"

namespace vrax {

struct ProgramDefinition {
    const char* name;
    CodecHandle codec;
    std::uint32_t block_size;  // BLOCK_SIZE: the most input bytes one block covers
    std::uint32_t slack;       // each block buffer holds block_size + slack bytes

    constexpr std::uint32_t capacity() const { return block_size + slack; }
};

// The codecs of the table. The control-word codecs need in_size + 32 bytes of destination (one
// group's overrun before the stored fallback), and no block of theirs is longer than the stored
// form, in_size + 4. VRAX5 codes a block's tail without the overrun test, so its blocks reach
// in_size + 514, as does the room it asks for. VRAX1-A's compressor carries its table from block to
// block.
inline constexpr CodecHandle VRAX1_CODEC = CodecHandle::direct(vrax1_compress, vrax1_decompress, 32, 4);
inline constexpr CodecHandle VRAX1A_CODEC = CodecHandle::entry_point(vrax1a_codec_call, 32, 4).compressing_in_order();
inline constexpr CodecHandle VRAX2_CODEC = CodecHandle::entry_point(vrax2_codec_call, 32, 4);
inline constexpr CodecHandle VRAX3_CODEC = CodecHandle::entry_point(vrax3_codec_call, 32, 4);
inline constexpr CodecHandle VRAX3A_CODEC = CodecHandle::entry_point(vrax3a_codec_call, 32, 4);
inline constexpr CodecHandle VRAX5_CODEC = CodecHandle::entry_point(vrax5_codec_call, 514, 514);

// VRAX1 has no entry point: the driver's direct-call variant, with smaller slack.
inline constexpr ProgramDefinition PROGRAM_TABLE[] = {
    {"vrax1", VRAX1_CODEC, 1u << 20, DIRECT_CALL_SLACK},
    {"vrax1a", VRAX1A_CODEC, 1u << 20, BLOCK_SLACK},
    {"vrax2", VRAX2_CODEC, 1u << 20, BLOCK_SLACK},
    {"vrax3", VRAX3_CODEC, 1u << 20, BLOCK_SLACK},
    {"vrax3-64k", VRAX3_CODEC, 1u << 16, BLOCK_SLACK},
    {"vrax3a", VRAX3A_CODEC, 1u << 20, BLOCK_SLACK},
    {"vrax3a-16m", VRAX3A_CODEC, 1u << 24, BLOCK_SLACK},
    {"vrax3a-256m", VRAX3A_CODEC, 1u << 28, BLOCK_SLACK},
    {"vrax5", VRAX5_CODEC, 1u << 16, BLOCK_SLACK},
};

// The row number of the program called `name`. An unknown name does not compile where the row is
// a template argument, and throws otherwise.
constexpr std::size_t program_named(std::string_view name) {
    for (std::size_t row = 0; row < std::size(PROGRAM_TABLE); ++row)
        if (name == PROGRAM_TABLE[row].name) return row;
    throw "no program of that name";
}

// The main program of a deliverable: the driver with the program's codec and its two static block
// buffers. The row is copied, not referred to: a reference into the table would make the program
// link every codec the table names.
template <std::size_t ROW>
int run_listed_program(int argc, char** argv) {
    constexpr ProgramDefinition PROGRAM = PROGRAM_TABLE[ROW];
    constexpr std::uint32_t capacity = PROGRAM.capacity();
    using Blocks = StaticBlocks<capacity>;
    static constexpr CodecHandle codec = PROGRAM.codec;
    return driver_main(argc, argv, codec,
                       BlockBuffers{Blocks::input_block, Blocks::output_block, capacity,
                                    PROGRAM.block_size});
}

}  // namespace vrax
