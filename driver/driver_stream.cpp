// The compress and decompress loops over stdio streams.
#include "driver_stream.h"

#include <cerrno>

namespace vrax {

CodecStatus call_codec(const StreamSetup& setup, std::uint16_t action, std::uint32_t source_length,
                       CodecResult* result) {
    const BlockBuffers& b = setup.buffers;
    return call_codec_routine(setup.codec, action, setup.work_memory, b.input_block, source_length,
                              b.output_block, b.capacity, result);
}

namespace {

StreamOutcome failure(StreamError error, std::uint64_t block, int saved_errno = 0) {
    StreamOutcome outcome;
    outcome.error = error;
    outcome.block = block;
    outcome.saved_errno = saved_errno;
    return outcome;
}

// Writes n bytes; false (errno kept) when the stream takes fewer.
bool write_all(std::FILE* out, const std::uint8_t* data, std::size_t n) {
    return n == 0 || std::fwrite(data, 1, n, out) == n;
}

// A codec that claims more output than its destination holds has broken its contract; treat the
// block as unusable rather than write memory that the codec did not fill.
StreamOutcome codec_outcome(CodecStatus status, const CodecResult& result, std::uint64_t block,
                            std::uint32_t capacity) {
    StreamOutcome outcome;
    outcome.block = block;
    if (status == CodecStatus::failed) {
        outcome.error = StreamError::codec_failed;
        outcome.codec_message = result.message;
    } else if (status == CodecStatus::too_long) {
        outcome.error = StreamError::decoded_too_long;
    } else if (status != CodecStatus::ok || result.length > capacity) {
        outcome.error = StreamError::malformed_block;
    }
    return outcome;
}

}  // namespace

StreamOutcome compress_stream(std::FILE* in, std::FILE* out, const StreamSetup& setup) {
    const BlockBuffers& b = setup.buffers;
    for (std::uint64_t block = 1;; ++block) {
        std::size_t n = std::fread(b.input_block, 1, b.block_size, in);
        if (std::ferror(in)) return failure(StreamError::read_failed, block, errno);
        if (n == 0) return {};

        CodecResult result{};
        CodecStatus status = call_codec(setup, ACTION_COMPRESS, std::uint32_t(n), &result);
        StreamOutcome outcome = codec_outcome(status, result, block, b.capacity);
        if (outcome.error != StreamError::none) return outcome;

        const std::uint32_t L = result.length;
        const std::uint8_t header[4] = {std::uint8_t(L >> 24), std::uint8_t(L >> 16),
                                        std::uint8_t(L >> 8), std::uint8_t(L)};
        if (!write_all(out, header, 4) || !write_all(out, b.output_block, L))
            return failure(StreamError::write_failed, block, errno);
    }
}

StreamOutcome decompress_stream(std::FILE* in, std::FILE* out, const StreamSetup& setup) {
    const BlockBuffers& b = setup.buffers;
    for (std::uint64_t block = 1;; ++block) {
        int first = std::getc(in);
        if (first == EOF) {
            if (std::ferror(in)) return failure(StreamError::read_failed, block, errno);
            return {};  // the normal end: no byte of a further record
        }
        std::uint8_t rest[3];
        if (std::fread(rest, 1, 3, in) != 3) {
            if (std::ferror(in)) return failure(StreamError::read_failed, block, errno);
            return failure(StreamError::truncated_length, block);
        }
        const std::uint32_t L = std::uint32_t(first) << 24 | std::uint32_t(rest[0]) << 16 |
                                std::uint32_t(rest[1]) << 8 | rest[2];
        if (L < BLOCK_HEADER_SIZE || L > b.capacity) {
            StreamOutcome outcome = failure(
                L < BLOCK_HEADER_SIZE ? StreamError::block_too_short : StreamError::block_too_long,
                block);
            outcome.length = L;
            return outcome;
        }
        std::size_t got = std::fread(b.input_block, 1, L, in);
        if (got != L) {
            if (std::ferror(in)) return failure(StreamError::read_failed, block, errno);
            StreamOutcome outcome = failure(StreamError::truncated_block, block);
            outcome.length = L;
            outcome.available = std::uint32_t(got);
            return outcome;
        }

        CodecResult result{};
        CodecStatus status = call_codec(setup, ACTION_DECOMPRESS, L, &result);
        StreamOutcome outcome = codec_outcome(status, result, block, b.capacity);
        if (outcome.error != StreamError::none) {
            outcome.length = L;
            return outcome;
        }
        if (!write_all(out, b.output_block, result.length))
            return failure(StreamError::write_failed, block, errno);
    }
}

}  // namespace vrax
