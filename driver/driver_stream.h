// The stream file loops: plain file to records and records back to the plain file. Each record is
// a 4-byte big-endian length L followed by one compressed block of L bytes; nothing else is in
// the file. The loops report what went wrong; the caller words the message.
#pragma once

#include <cstdint>
#include <cstdio>

#include "driver.h"

namespace vrax {

enum class StreamError {
    none,
    read_failed,      // the input could not be read (errno saved)
    write_failed,     // the output could not be written (errno saved)
    truncated_length, // the file ends inside a record's length field
    truncated_block,  // the file ends inside a block
    block_too_short,  // L is less than a block header
    block_too_long,   // L exceeds the input buffer: perhaps a program with larger blocks wrote it
    malformed_block,  // the codec refused the block
    decoded_too_long, // the block decodes to more than the output buffer: perhaps a program with
                      // larger blocks wrote it
    codec_failed,     // the codec's own fatal condition, with its message
};

struct StreamOutcome {
    StreamError error = StreamError::none;
    std::uint64_t block = 0;      // 1-based number of the record concerned
    std::uint32_t length = 0;     // its L, where known
    std::uint32_t available = 0;  // truncated_block: bytes of the block that the file holds
    int saved_errno = 0;
    const char* codec_message = nullptr;
};

// Everything a loop works with; the codec's working memory is null for a direct-call program.
struct StreamSetup {
    CodecBinding codec;
    void* work_memory;
    BlockBuffers buffers;
};

// Calls the codec on one block from input_block into output_block: through the entry point, or
// directly for a direct-call program.
CodecStatus call_codec(const StreamSetup& setup, std::uint16_t action, std::uint32_t source_length,
                       CodecResult* result);

// Reads `in` in blocks of up to BLOCK_SIZE bytes and writes one record per block to `out`.
StreamOutcome compress_stream(std::FILE* in, std::FILE* out, const StreamSetup& setup);

// Reads records from `in` and writes the decoded bytes to `out`. Refuses truncated and malformed
// streams without reading or writing outside the buffers.
StreamOutcome decompress_stream(std::FILE* in, std::FILE* out, const StreamSetup& setup);

}  // namespace vrax
