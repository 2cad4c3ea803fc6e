// The stream file's records and the loops over them: plain bytes to records and records back to
// plain bytes. Each record is a 4-byte big-endian length L followed by one compressed block of L
// bytes; nothing else is in the file. The programs and the library read and write records through
// the same functions; they report what went wrong, and the caller words the message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "codec_handle.h"
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

// The one-line description of a failure, without the program and file names: what the programs
// print after "program: file: " and what the library returns as its error text. `maker` names
// what has a block size: "program" or "format". Empty for StreamError::none.
void describe_outcome(const StreamOutcome& outcome, bool compressing, const char* maker,
                      char* text, std::size_t size);

// --- Bytes in and out ---

// Where plain bytes and records come from.
class ByteInput {
public:
    struct Taken {
        const std::uint8_t* data;  // at the buffer given, or in place for an input in memory
        std::size_t size;          // the bytes asked for, fewer only at the end or on a failure
        bool failed;               // a read error; saved_errno says which
        int saved_errno;
    };
    // Up to `n` bytes, copied to `buffer` (which holds n bytes) or left where they are.
    virtual Taken take(std::uint8_t* buffer, std::size_t n) = 0;
    // True for an input that leaves every byte where it is: it needs no buffer.
    virtual bool in_place() const { return false; }

protected:
    ~ByteInput() = default;
};

// Where plain bytes and records go.
class ByteOutput {
public:
    // Writes all `n` bytes; false (errno set) when they cannot be written.
    virtual bool put(const std::uint8_t* data, std::size_t n) = 0;

protected:
    ~ByteOutput() = default;
};

// A stdio stream as input or output.
class FileInput final : public ByteInput {
public:
    explicit FileInput(std::FILE* file) : file_(file) {}
    Taken take(std::uint8_t* buffer, std::size_t n) override;

private:
    std::FILE* file_;
};

class FileOutput final : public ByteOutput {
public:
    explicit FileOutput(std::FILE* file) : file_(file) {}
    bool put(const std::uint8_t* data, std::size_t n) override;

private:
    std::FILE* file_;
};

// --- Records ---

// A block of input or one record's block, as read; `end` when the input has no more.
struct BlockRead {
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    bool end = false;
    StreamOutcome outcome;  // a failure of block `block_number`
};

// The length field that opens every record: 4 bytes, big-endian.
inline std::uint32_t record_length(const std::uint8_t* field) {
    return std::uint32_t(field[0]) << 24 | std::uint32_t(field[1]) << 16 |
           std::uint32_t(field[2]) << 8 | field[3];
}

inline void put_record_length(std::uint8_t* field, std::uint32_t L) {
    field[0] = std::uint8_t(L >> 24);
    field[1] = std::uint8_t(L >> 16);
    field[2] = std::uint8_t(L >> 8);
    field[3] = std::uint8_t(L);
}

// The next block of plain input: up to `block_size` bytes (`buffer` holds that many).
BlockRead read_plain_block(ByteInput& in, std::uint8_t* buffer, std::uint32_t block_size,
                           std::uint64_t block_number);

// The next record: its length checked against `capacity` (which `buffer` holds) before its block
// is read. Refuses a cut or impossible record without reading or writing outside the buffer.
BlockRead read_record(ByteInput& in, std::uint8_t* buffer, std::uint32_t capacity,
                      std::uint64_t block_number);

// Writes one record: the length field, then the block.
bool write_record(ByteOutput& out, const std::uint8_t* block, std::uint32_t length);

// Codes one block with ACTION_COMPRESS or ACTION_DECOMPRESS into `out` (`capacity` bytes) and
// reports the codec's refusal or failure as the stream's. A codec that claims more output than
// its destination holds has broken its contract: the block counts as malformed.
StreamOutcome code_block(const CodecHandle& codec, std::uint16_t action, void* work,
                         const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                         std::uint32_t capacity, std::uint64_t block_number,
                         std::uint32_t* out_size);

// --- The single-threaded loops of the programs ---

// Everything a loop works with; the codec's working memory is null for a direct-call program.
struct StreamSetup {
    CodecHandle codec;
    void* work_memory;
    BlockBuffers buffers;
};

// Reads `in` in blocks of up to BLOCK_SIZE bytes and writes one record per block to `out`.
StreamOutcome compress_loop(ByteInput& in, ByteOutput& out, const StreamSetup& setup);
StreamOutcome compress_stream(std::FILE* in, std::FILE* out, const StreamSetup& setup);

// Reads records from `in` and writes the decoded bytes to `out`. Refuses truncated and malformed
// streams without reading or writing outside the buffers.
StreamOutcome decompress_loop(ByteInput& in, ByteOutput& out, const StreamSetup& setup);
StreamOutcome decompress_stream(std::FILE* in, std::FILE* out, const StreamSetup& setup);

}  // namespace vrax
