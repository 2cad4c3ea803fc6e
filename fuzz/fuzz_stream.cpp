// Feeds arbitrary bytes to the driver's stream loops, with block buffers of a small block size on
// the heap so that any overrun faults.
//
// Input: byte 0 picks the codec (low 4 bits); byte 1 the mode (bit 0) and the block size
// (stream_block_size); the rest is the stream.
//   mode 0: decompress_stream on the bytes as a stream file. Its outcome (which error, at which
//           record) and every byte it wrote must match a plain reading of the records, each block
//           decoded on its own.
//   mode 1: compress_stream on the bytes as a plain file, then decompress_stream on the result,
//           which must give the bytes back; no record may exceed the codec's bound.
#include <cstdint>
#include <vector>

#include "fuzz_harness.h"

using namespace vrax;
using namespace vrax::fuzz;

namespace {

// The records of `stream` read one by one: what decompress_stream must report and write.
Run expected_decoding(const FuzzCodec& codec, const Bytes& stream, std::uint32_t capacity) {
    Run run;
    WorkMemory work(codec, 0);
    std::size_t at = 0;
    for (std::uint64_t block = 1;; ++block) {
        StreamOutcome& o = run.outcome;
        o.block = block;
        if (at == stream.size()) {
            o = StreamOutcome{};
            return run;
        }
        if (stream.size() - at < 4) {
            o.error = StreamError::truncated_length;
            return run;
        }
        const std::uint32_t L = std::uint32_t(stream[at]) << 24 |
                                std::uint32_t(stream[at + 1]) << 16 |
                                std::uint32_t(stream[at + 2]) << 8 | stream[at + 3];
        at += 4;
        if (L < 4 || L > capacity) {
            o.error = L < 4 ? StreamError::block_too_short : StreamError::block_too_long;
            return run;
        }
        if (stream.size() - at < L) {
            o.error = StreamError::truncated_block;
            return run;
        }
        const HeapBytes in(stream.data() + at, L);
        HeapBytes out(capacity);
        CodecResult r{};
        CodecStatus status = codec.handle.decompress(work.get(), in.data(), L, out.data(),
                                              capacity, &r);
        if (status != CodecStatus::ok) {
            o.error = status == CodecStatus::failed     ? StreamError::codec_failed
                      : status == CodecStatus::too_long ? StreamError::decoded_too_long
                                                        : StreamError::malformed_block;
            return run;
        }
        run.output.insert(run.output.end(), out.data(), out.data() + r.length);
        at += L;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const FuzzCodec& codec = pick_codec(data[0]);
    const bool round_trip = data[1] & 1;
    const std::uint32_t block_size = stream_block_size(data[1]);
    const std::uint32_t capacity = block_size + codec.slack;
    const Bytes input(data + 2, data + size);

    HeapBytes input_block(capacity);
    HeapBytes output_block(capacity);
    WorkMemory work(codec, 0);
    const StreamSetup setup{codec.handle, work.get(),
                            BlockBuffers{input_block.data(), output_block.data(), capacity,
                                         block_size}};

    if (!round_trip) {
        Run run = run_loop(decompress_stream, input, setup);
        Run expected = expected_decoding(codec, input, capacity);
        FUZZ_CHECK(run.outcome.error == expected.outcome.error);
        if (expected.outcome.error != StreamError::none)
            FUZZ_CHECK(run.outcome.block == expected.outcome.block);
        FUZZ_CHECK(run.output == expected.output);
        return 0;
    }

    Run packed = run_loop(compress_stream, input, setup);
    FUZZ_CHECK(packed.outcome.error == StreamError::none);
    for (std::size_t at = 0; at < packed.output.size();) {
        FUZZ_CHECK(packed.output.size() - at >= 8);
        const Bytes& s = packed.output;
        const std::uint32_t L = std::uint32_t(s[at]) << 24 | std::uint32_t(s[at + 1]) << 16 |
                                std::uint32_t(s[at + 2]) << 8 | s[at + 3];
        FUZZ_CHECK(L >= 4 && L <= block_size + codec.handle.max_growth());
        at += 4 + std::size_t(L);
        FUZZ_CHECK(at <= s.size());
    }

    // A fresh working memory, as a separate `d` run would have.
    WorkMemory fresh(codec, 0);
    StreamSetup unpack = setup;
    unpack.work_memory = fresh.get();
    Run unpacked = run_loop(decompress_stream, packed.output, unpack);
    FUZZ_CHECK(unpacked.outcome.error == StreamError::none);
    FUZZ_CHECK(unpacked.output == input);
    return 0;
}
