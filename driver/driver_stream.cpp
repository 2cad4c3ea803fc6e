// Records in and out, the messages for what can go wrong with them, and the programs' two loops.
#include "driver_stream.h"

#include <cerrno>
#include <cstring>

namespace vrax {

void describe_outcome(const StreamOutcome& o, bool compressing, const char* maker, char* text,
                      std::size_t size) {
    const auto block = static_cast<unsigned long long>(o.block);
    if (size != 0) text[0] = '\0';
    switch (o.error) {
        case StreamError::none:
            break;
        case StreamError::read_failed:
            std::snprintf(text, size, "read error: %s", std::strerror(o.saved_errno));
            break;
        case StreamError::write_failed:
            std::snprintf(text, size, "write error: %s", std::strerror(o.saved_errno));
            break;
        case StreamError::truncated_length:
            std::snprintf(text, size,
                          "truncated stream: the file ends inside the length of block %llu", block);
            break;
        case StreamError::truncated_block:
            std::snprintf(text, size,
                          "truncated stream: block %llu should have %u bytes, the file ends after "
                          "%u",
                          block, o.length, o.available);
            break;
        case StreamError::block_too_short:
            std::snprintf(text, size,
                          "corrupt stream: block %llu has a length of %u byte%s, less than its "
                          "4-byte header",
                          block, o.length, o.length == 1 ? "" : "s");
            break;
        case StreamError::block_too_long:
            std::snprintf(text, size,
                          "block %llu has %u bytes, more than this %s's blocks can hold; the file "
                          "may come from a %s with a larger block size, or be corrupt",
                          block, o.length, maker, maker);
            break;
        case StreamError::decoded_too_long:
            std::snprintf(text, size,
                          "block %llu decodes to more bytes than this %s's blocks can hold; the "
                          "file may come from a %s with a larger block size, or be corrupt",
                          block, maker, maker);
            break;
        case StreamError::malformed_block:
            if (compressing)
                std::snprintf(text, size, "internal error: the codec failed on block %llu", block);
            else
                std::snprintf(text, size,
                              "corrupt stream: block %llu does not decode (a copy from outside "
                              "the output, or items past the end of the block or of the output "
                              "buffer)",
                              block);
            break;
        case StreamError::codec_failed:
            std::snprintf(text, size, "%s", o.codec_message);
            break;
    }
}

ByteInput::Taken FileInput::take(std::uint8_t* buffer, std::size_t n) {
    const std::size_t got = n == 0 ? 0 : std::fread(buffer, 1, n, file_);
    const bool failed = std::ferror(file_) != 0;
    return Taken{buffer, got, failed, failed ? errno : 0};
}

bool FileOutput::put(const std::uint8_t* data, std::size_t n) {
    return n == 0 || std::fwrite(data, 1, n, file_) == n;
}

namespace {

StreamOutcome failure(StreamError error, std::uint64_t block, int saved_errno = 0) {
    StreamOutcome outcome;
    outcome.error = error;
    outcome.block = block;
    outcome.saved_errno = saved_errno;
    return outcome;
}

BlockRead failed_read(StreamError error, std::uint64_t block, int saved_errno = 0) {
    BlockRead read;
    read.outcome = failure(error, block, saved_errno);
    return read;
}

}  // namespace

BlockRead read_plain_block(ByteInput& in, std::uint8_t* buffer, std::uint32_t block_size,
                           std::uint64_t block_number) {
    const ByteInput::Taken taken = in.take(buffer, block_size);
    if (taken.failed) return failed_read(StreamError::read_failed, block_number, taken.saved_errno);
    BlockRead read;
    read.data = taken.data;
    read.size = std::uint32_t(taken.size);
    read.end = taken.size == 0;
    return read;
}

BlockRead read_record(ByteInput& in, std::uint8_t* buffer, std::uint32_t capacity,
                      std::uint64_t block_number) {
    std::uint8_t field[4];
    const ByteInput::Taken head = in.take(field, 4);
    if (head.failed) return failed_read(StreamError::read_failed, block_number, head.saved_errno);
    if (head.size == 0) {
        BlockRead end;  // the normal end: no byte of a further record
        end.end = true;
        return end;
    }
    if (head.size < 4) return failed_read(StreamError::truncated_length, block_number);
    const std::uint32_t L = record_length(head.data);
    if (L < BLOCK_HEADER_SIZE || L > capacity) {
        BlockRead refused = failed_read(
            L < BLOCK_HEADER_SIZE ? StreamError::block_too_short : StreamError::block_too_long,
            block_number);
        refused.outcome.length = L;
        return refused;
    }
    const ByteInput::Taken body = in.take(buffer, L);
    if (body.failed) return failed_read(StreamError::read_failed, block_number, body.saved_errno);
    if (body.size != L) {
        BlockRead cut = failed_read(StreamError::truncated_block, block_number);
        cut.outcome.length = L;
        cut.outcome.available = std::uint32_t(body.size);
        return cut;
    }
    BlockRead read;
    read.data = body.data;
    read.size = L;
    return read;
}

bool write_record(ByteOutput& out, const std::uint8_t* block, std::uint32_t L) {
    std::uint8_t field[4];
    put_record_length(field, L);
    return out.put(field, 4) && out.put(block, L);
}

StreamOutcome code_block(const CodecHandle& codec, std::uint16_t action, void* work,
                         const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                         std::uint32_t capacity, std::uint64_t block_number,
                         std::uint32_t* out_size) {
    CodecResult result{};
    const CodecStatus status = codec.call(action, work, in, in_size, out, capacity, &result);
    StreamOutcome outcome;
    outcome.block = block_number;
    if (status == CodecStatus::failed) {
        outcome.error = StreamError::codec_failed;
        outcome.codec_message = result.message;
    } else if (status == CodecStatus::too_long) {
        outcome.error = StreamError::decoded_too_long;
    } else if (status != CodecStatus::ok || result.length > capacity) {
        outcome.error = StreamError::malformed_block;
    }
    if (action == ACTION_DECOMPRESS && outcome.error != StreamError::none) outcome.length = in_size;
    *out_size = result.length;
    return outcome;
}

StreamOutcome compress_loop(ByteInput& in, ByteOutput& out, const StreamSetup& setup) {
    const BlockBuffers& b = setup.buffers;
    for (std::uint64_t block = 1;; ++block) {
        const BlockRead read = read_plain_block(in, b.input_block, b.block_size, block);
        if (read.outcome.error != StreamError::none || read.end) return read.outcome;
        std::uint32_t length = 0;
        const StreamOutcome coded = code_block(setup.codec, ACTION_COMPRESS, setup.work_memory,
                                               read.data, read.size, b.output_block, b.capacity,
                                               block, &length);
        if (coded.error != StreamError::none) return coded;
        if (!write_record(out, b.output_block, length))
            return failure(StreamError::write_failed, block, errno);
    }
}

StreamOutcome decompress_loop(ByteInput& in, ByteOutput& out, const StreamSetup& setup) {
    const BlockBuffers& b = setup.buffers;
    for (std::uint64_t block = 1;; ++block) {
        const BlockRead read = read_record(in, b.input_block, b.capacity, block);
        if (read.outcome.error != StreamError::none || read.end) return read.outcome;
        std::uint32_t length = 0;
        const StreamOutcome decoded = code_block(setup.codec, ACTION_DECOMPRESS,
                                                 setup.work_memory, read.data, read.size,
                                                 b.output_block, b.capacity, block, &length);
        if (decoded.error != StreamError::none) return decoded;
        if (!out.put(b.output_block, length))
            return failure(StreamError::write_failed, block, errno);
    }
}

StreamOutcome compress_stream(std::FILE* in, std::FILE* out, const StreamSetup& setup) {
    FileInput input(in);
    FileOutput output(out);
    return compress_loop(input, output, setup);
}

StreamOutcome decompress_stream(std::FILE* in, std::FILE* out, const StreamSetup& setup) {
    FileInput input(in);
    FileOutput output(out);
    return decompress_loop(input, output, setup);
}

}  // namespace vrax
