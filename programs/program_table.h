// Every deliverable as data: its name, how it reaches its codec, its block size and the slack of
// its buffers. programs/<name>.cpp builds its program from its row; the tests and the benchmark
// read the same rows, so a program is described once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

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
    CodecBinding codec;
    std::uint32_t block_size;  // BLOCK_SIZE: the most input bytes one block covers
    std::uint32_t slack;       // each block buffer holds block_size + slack bytes
};

namespace program_table_detail {
constexpr std::uint32_t KiB = 1u << 10;
constexpr std::uint32_t MiB = 1u << 20;
constexpr CodecBinding entry(CodecCall* codec_call) { return {codec_call, nullptr, nullptr}; }
}  // namespace program_table_detail

inline constexpr ProgramDefinition PROGRAM_TABLE[] = {
    // VRAX1 has no entry point: the driver's direct-call variant, with smaller slack.
    {"vrax1", {nullptr, vrax1_compress, vrax1_decompress}, 1 * program_table_detail::MiB,
     DIRECT_CALL_SLACK},
    {"vrax1a", program_table_detail::entry(vrax1a_codec_call), 1 * program_table_detail::MiB,
     BLOCK_SLACK},
    {"vrax2", program_table_detail::entry(vrax2_codec_call), 1 * program_table_detail::MiB,
     BLOCK_SLACK},
    {"vrax3", program_table_detail::entry(vrax3_codec_call), 1 * program_table_detail::MiB,
     BLOCK_SLACK},
    {"vrax3-64k", program_table_detail::entry(vrax3_codec_call), 64 * program_table_detail::KiB,
     BLOCK_SLACK},
    {"vrax3a", program_table_detail::entry(vrax3a_codec_call), 1 * program_table_detail::MiB,
     BLOCK_SLACK},
    {"vrax3a-16m", program_table_detail::entry(vrax3a_codec_call), 16 * program_table_detail::MiB,
     BLOCK_SLACK},
    {"vrax3a-256m", program_table_detail::entry(vrax3a_codec_call),
     256 * program_table_detail::MiB, BLOCK_SLACK},
    {"vrax5", program_table_detail::entry(vrax5_codec_call), 64 * program_table_detail::KiB,
     BLOCK_SLACK},
};

// The row number of the program called `name`. An unknown name does not compile where the row is
// a template argument, and throws otherwise.
constexpr std::size_t program_named(std::string_view name) {
    for (std::size_t row = 0; row < std::size(PROGRAM_TABLE); ++row)
        if (name == PROGRAM_TABLE[row].name) return row;
    throw "no program of that name";
}

// The main program of a deliverable: the driver with the program's codec and its two static block
// buffers.
template <std::size_t ROW>
int run_listed_program(int argc, char** argv) {
    constexpr const ProgramDefinition& PROGRAM = PROGRAM_TABLE[ROW];
    constexpr std::uint32_t capacity = PROGRAM.block_size + PROGRAM.slack;
    using Blocks = StaticBlocks<capacity>;
    return driver_main(argc, argv, PROGRAM.codec,
                       BlockBuffers{Blocks::input_block, Blocks::output_block, capacity,
                                    PROGRAM.block_size});
}

}  // namespace vrax
