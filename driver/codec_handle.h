// One way to reach a codec, for the programs, the library, the tests, the fuzzers and the
// benchmark: identify it, size its working memory, call its block routines.
#pragma once

#include <cstdint>

#include "codec.h"

namespace vrax {

// A codec reached through its entry point (identity record, working memory), or, for VRAX1,
// through its two block routines directly, with neither.
class CodecHandle {
public:
    // A codec with an entry point. `max_growth`: a block it writes has at most in_size +
    // max_growth bytes. `compress_room`: a compress destination needs in_size + this many bytes.
    static constexpr CodecHandle entry_point(CodecCall* call, std::uint32_t compress_room,
                                             std::uint32_t max_growth) {
        return CodecHandle(call, nullptr, nullptr, compress_room, max_growth);
    }
    // A codec called directly, with no identity and no working memory.
    static constexpr CodecHandle direct(CodecRoutine* compress, CodecRoutine* decompress,
                                        std::uint32_t compress_room, std::uint32_t max_growth) {
        return CodecHandle(nullptr, compress, decompress, compress_room, max_growth);
    }

    // The identity record; null for a direct-call codec.
    const AlgorithmIdentity* identity() const {
        if (call_ == nullptr) return nullptr;
        CodecResult result{};
        call_(ACTION_IDENTIFY, nullptr, nullptr, 0, nullptr, 0, &result);
        return result.identity;
    }

    // The bytes of working memory that the identity declares; 0 for a direct-call codec.
    std::uint32_t work_memory_size() const {
        const AlgorithmIdentity* id = identity();
        return id == nullptr ? 0 : id->memory;
    }

    // ACTION_COMPRESS or ACTION_DECOMPRESS on one block. A direct-call codec ignores `work`.
    CodecStatus call(std::uint16_t action, void* work, const std::uint8_t* in,
                     std::uint32_t in_size, std::uint8_t* out, std::uint32_t out_cap,
                     CodecResult* result) const {
        if (call_ != nullptr) return call_(action, work, in, in_size, out, out_cap, result);
        CodecRoutine* routine = action == ACTION_COMPRESS ? compress_ : decompress_;
        return routine(nullptr, in, in_size, out, out_cap, result);
    }
    CodecStatus compress(void* work, const std::uint8_t* in, std::uint32_t in_size,
                         std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) const {
        return call(ACTION_COMPRESS, work, in, in_size, out, out_cap, result);
    }
    CodecStatus decompress(void* work, const std::uint8_t* in, std::uint32_t in_size,
                           std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) const {
        return call(ACTION_DECOMPRESS, work, in, in_size, out, out_cap, result);
    }

    // The same codec, marked as one whose compressor carries state from block to block (VRAX1-A's
    // table): its blocks must be compressed in order through one working memory.
    constexpr CodecHandle compressing_in_order() const {
        CodecHandle ordered = *this;
        ordered.in_order_ = true;
        return ordered;
    }

    constexpr bool has_entry_point() const { return call_ != nullptr; }
    constexpr bool compresses_in_order() const { return in_order_; }
    constexpr std::uint32_t compress_room() const { return compress_room_; }
    constexpr std::uint32_t max_growth() const { return max_growth_; }

private:
    constexpr CodecHandle(CodecCall* call, CodecRoutine* compress, CodecRoutine* decompress,
                          std::uint32_t compress_room, std::uint32_t max_growth)
        : call_(call), compress_(compress), decompress_(decompress),
          compress_room_(compress_room), max_growth_(max_growth) {}

    CodecCall* call_;
    CodecRoutine* compress_;
    CodecRoutine* decompress_;
    std::uint32_t compress_room_;
    std::uint32_t max_growth_;
    bool in_order_ = false;
};

}  // namespace vrax
