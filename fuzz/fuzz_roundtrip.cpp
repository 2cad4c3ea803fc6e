// Round-trips arbitrary bytes through every compressor and decompressor of the table.
//
// Input: byte 0 picks the codec (low 4 bits) and the working memory's misalignment (bits 4-5);
// byte 1 the length of the blocks the rest is cut into (roundtrip_block_length). The blocks go
// through one compress working memory in order, as the driver's do (VRAX1-A carries its table
// from block to block), and through one decompress working memory. Every buffer is exactly as
// large as the contract requires, so a compressor that reads past its input or writes past
// in_size + compress_room faults. Each block must be at most in_size + max_growth bytes and
// decode to its input into a destination of exactly in_size bytes. A compress destination one
// byte short of the bound must be refused or else respected.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "fuzz_harness.h"

using namespace vrax::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const FuzzCodec& codec = pick_codec(data[0]);
    const unsigned misalign = data[0] >> 4 & 3;
    const std::uint8_t* const input = data + 2;
    const std::size_t input_size = size - 2;
    const std::size_t chunk = roundtrip_block_length(data[1]) == 0
                                  ? std::max<std::size_t>(input_size, 1)
                                  : roundtrip_block_length(data[1]);

    WorkMemory compress_work(codec, misalign);
    WorkMemory decompress_work(codec, misalign ^ 2);
    std::size_t at = 0;
    do {
        const std::uint32_t n = std::uint32_t(std::min(chunk, input_size - at));
        const HeapBytes in(input + at, n);

        HeapBytes block(std::size_t(n) + codec.handle.compress_room());
        CodecResult packed{};
        CodecStatus status = codec.handle.compress(compress_work.get(), in.data(), n, block.data(),
                                            std::uint32_t(block.size()), &packed);
        FUZZ_CHECK(status == CodecStatus::ok);
        FUZZ_CHECK(packed.length >= 4);
        FUZZ_CHECK(packed.length <= std::size_t(n) + codec.handle.max_growth());

        // The block as a stream record would carry it: exactly its own length.
        const HeapBytes record(block.data(), packed.length);
        HeapBytes out(n);
        CodecResult unpacked{};
        status = codec.handle.decompress(decompress_work.get(), record.data(), packed.length,
                                  out.data(), n, &unpacked);
        FUZZ_CHECK(status == CodecStatus::ok);
        FUZZ_CHECK(unpacked.length == n);
        FUZZ_CHECK(n == 0 || std::memcmp(out.data(), in.data(), n) == 0);

        at += n;
    } while (at < input_size);

    // Too small a destination: a caller's bug that must not become an overrun. A scratch working
    // memory keeps the refused call from disturbing anything above.
    const std::uint32_t n = std::uint32_t(std::min<std::size_t>(input_size, 4096));
    const HeapBytes in(input, n);
    HeapBytes small(std::size_t(n) + codec.handle.compress_room() - 1);
    WorkMemory scratch(codec, misalign);
    CodecResult r{};
    CodecStatus status = codec.handle.compress(scratch.get(), in.data(), n, small.data(),
                                        std::uint32_t(small.size()), &r);
    if (status == CodecStatus::ok) FUZZ_CHECK(r.length <= small.size());
    else FUZZ_CHECK(status == CodecStatus::failed && r.message != nullptr);
    return 0;
}
