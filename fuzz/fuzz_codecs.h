// The codecs that the fuzz targets and the seed maker exercise: each with the program of its
// smallest block size, from the program table. Adding a codec to them is one name below.
#pragma once

#include <cstdint>

#include "program_table.h"

namespace vrax::fuzz {

struct FuzzCodec {
    const char* name;
    CodecHandle handle;
    std::uint32_t block_size;  // the smallest BLOCK_SIZE of the codec's programs
    std::uint32_t slack;       // room its programs' buffers have beyond BLOCK_SIZE
};

constexpr FuzzCodec fuzz_codec(const char* program) {
    const ProgramDefinition& row = PROGRAM_TABLE[program_named(program)];
    return FuzzCodec{row.name, row.codec, row.block_size, row.slack};
}

inline constexpr FuzzCodec FUZZ_CODECS[] = {
    fuzz_codec("vrax1a"), fuzz_codec("vrax1"),  fuzz_codec("vrax2"),
    fuzz_codec("vrax3-64k"), fuzz_codec("vrax3a"), fuzz_codec("vrax5"),
};

inline constexpr std::uint32_t FUZZ_CODEC_COUNT = sizeof FUZZ_CODECS / sizeof FUZZ_CODECS[0];

}  // namespace vrax::fuzz
