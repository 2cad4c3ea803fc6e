// The contract between the driver and every codec: entry point, identity record, action codes,
// block header constants and the slack of the block buffers. Codecs and the driver include this
// and nothing of each other.
#pragma once

#include <cstddef>
#include <cstdint>

// Action codes of a codec's entry point. Any other value makes the entry point do nothing.
inline constexpr std::uint16_t ACTION_IDENTIFY = 0;
inline constexpr std::uint16_t ACTION_COMPRESS = 1;
inline constexpr std::uint16_t ACTION_DECOMPRESS = 2;

// Byte 0 of every compressed block says whether the body is coded items or the input verbatim.
// Any value but BLOCK_STORED means coded. Bytes 1 to 3 are written as zero and never read.
inline constexpr std::uint8_t BLOCK_CODED = 0;
inline constexpr std::uint8_t BLOCK_STORED = 1;
inline constexpr std::size_t BLOCK_HEADER_SIZE = 4;

// Spare bytes behind each of the driver's block buffers: room for the items a compressor writes
// before it notices that coding does not pay, and for a stored block of BLOCK_SIZE + 4 bytes.
inline constexpr std::uint32_t BLOCK_SLACK = 1024;
// VRAX1's program, which calls its routines directly (no entry point, no working memory), keeps
// 256 bytes: VRAX1 needs only n + 32.
inline constexpr std::uint32_t DIRECT_CALL_SLACK = 256;

// How a codec names itself and how much working memory it needs. One static record per codec;
// the driver reads only `memory`.
struct AlgorithmIdentity {
    std::uint32_t id;
    std::uint32_t memory;
    const char* name;
    const char* version;
    const char* date;
    const char* copyright;
    const char* author;
    const char* affiliation;
    const char* notice;  // the same text as `copyright` in every record
};

// What a codec call reports back to its caller.
enum class CodecStatus : std::uint8_t {
    ok,         // `result` holds the identity or the number of bytes written
    malformed,  // decompression: the block is not one that this codec writes; nothing to trust
    too_long,   // decompression: the block decodes to more than the destination holds; it may
                // come from a program with larger blocks, or be damaged
    failed,     // the codec's own fatal condition; `result.message` holds its text
};

struct CodecResult {
    const AlgorithmIdentity* identity;  // ACTION_IDENTIFY
    std::uint32_t length;               // ACTION_COMPRESS, ACTION_DECOMPRESS: bytes written
    const char* message;                // CodecStatus::failed: the codec's message, one line
};

// A codec's entry point. `out_cap` is the number of bytes the caller owns at `out`: a decompressor
// reports a block that would write past them as CodecStatus::too_long, and a compressor refuses
// (CodecStatus::failed) an `out_cap` below its worst case. ACTION_IDENTIFY reads nothing but
// `result`; other unknown actions touch nothing at all.
using CodecCall = CodecStatus(std::uint16_t action, void* work_memory, const std::uint8_t* in,
                              std::uint32_t in_size, std::uint8_t* out, std::uint32_t out_cap,
                              CodecResult* result);

// One of a codec's two block routines, as codec_call forwards to them (and as the driver calls
// VRAX1's directly, with no working memory).
using CodecRoutine = CodecStatus(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                                 std::uint8_t* out, std::uint32_t out_cap, CodecResult* result);
