// What the fuzz targets and the seed maker share: exact-size heap buffers (so that AddressSanitizer
// faults on the first byte past any of them), calls into a codec of the table whether it has an
// entry point or not (through its handle), and how a target reads its leading selector bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "driver_stream.h"
#include "fuzz_codecs.h"

namespace vrax::fuzz {

// A failed property: say which and abort, which libFuzzer reports as a crash with the input.
#define FUZZ_CHECK(condition)                                                               \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)

// Exactly `size` bytes on the heap: nothing after the last byte is addressable. The content is
// unspecified unless copied in. Large buffers (the driver's block buffers, big working memories)
// go back to a pool when released and serve the next request of the same size: mapping and
// unmapping them on every run would cost more than the codec's work.
class HeapBytes {
public:
    explicit HeapBytes(std::size_t size) : bytes_(take(size)), size_(size) {}
    HeapBytes(const std::uint8_t* data, std::size_t size) : HeapBytes(size) {
        if (size != 0) std::memcpy(bytes_.get(), data, size);
    }
    HeapBytes(HeapBytes&&) = default;
    HeapBytes& operator=(HeapBytes&&) = delete;
    ~HeapBytes() {
        if (bytes_ != nullptr && size_ >= POOLED_FROM) pool().emplace(size_, std::move(bytes_));
    }

    std::uint8_t* data() { return bytes_.get(); }
    const std::uint8_t* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }

private:
    using Pool = std::multimap<std::size_t, std::unique_ptr<std::uint8_t[]>>;
    static constexpr std::size_t POOLED_FROM = 64 * 1024;

    static Pool& pool() {
        static Pool buffers;
        return buffers;
    }
    static std::unique_ptr<std::uint8_t[]> take(std::size_t size) {
        if (size >= POOLED_FROM) {
            if (auto it = pool().find(size); it != pool().end()) {
                std::unique_ptr<std::uint8_t[]> bytes = std::move(it->second);
                pool().erase(it);
                return bytes;
            }
        }
        return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[size]);
    }

    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t size_;
};

inline const FuzzCodec& pick_codec(std::uint8_t selector) {
    return FUZZ_CODECS[(selector & 0x0F) % FUZZ_CODEC_COUNT];
}

// A codec's working memory, starting `misalign` (0 to 3) bytes into its allocation and ending
// where the allocation ends, filled with `fill`. The driver's is zero; a decoder must not care.
class WorkMemory {
public:
    WorkMemory(const FuzzCodec& codec, unsigned misalign, std::uint8_t fill = 0)
        : size_(codec.handle.work_memory_size()), bytes_(size_ + misalign), misalign_(misalign) {
        if (bytes_.size() != 0) std::memset(bytes_.data(), fill, bytes_.size());
    }
    void* get() { return size_ == 0 ? nullptr : bytes_.data() + misalign_; }

private:
    std::uint32_t size_;
    HeapBytes bytes_;
    unsigned misalign_;
};

// fuzz_decode's second byte: the destination capacity for a block of `block_length` bytes,
// among those a caller might pass.
inline std::uint32_t decode_capacity(const FuzzCodec& codec, std::uint8_t selector,
                                     std::uint32_t block_length) {
    switch (selector & 7) {
        case 0: return 0;
        case 1: return selector >> 3;  // a few bytes
        case 2: return block_length;
        case 3: return block_length < 4 ? 0 : block_length - 4;  // what a stored block needs
        case 4: return block_length * 9;  // room for 18 bytes per 2-byte copy item
        default: return codec.block_size + codec.slack;  // the driver's buffer
    }
}

// fuzz_roundtrip's second byte: the length of the blocks that the input is cut into (the last
// may be shorter); 0 means one block of the whole input.
inline std::uint32_t roundtrip_block_length(std::uint8_t selector) {
    if (selector < 64) return selector;
    return (selector - 63u) * 24u;
}

// fuzz_stream's second byte: bit 0 chooses round trip (1) or decoding of arbitrary records (0);
// the rest the block size of the driver run.
inline std::uint32_t stream_block_size(std::uint8_t selector) { return 1u + (selector >> 1) * 33u; }

using Bytes = std::vector<std::uint8_t>;

struct Run {
    StreamOutcome outcome;
    Bytes output;
};

// One of the driver's stream loops over `input`, writing to memory.
template <class Loop>
Run run_loop(Loop loop, const Bytes& input, const StreamSetup& setup) {
    HeapBytes source(input.data(), input.size());
    std::FILE* in = fmemopen(source.data(), source.size(), "rb");
    char* written = nullptr;
    std::size_t written_size = 0;
    std::FILE* out = open_memstream(&written, &written_size);
    FUZZ_CHECK(in != nullptr && out != nullptr);
    Run run;
    run.outcome = loop(in, out, setup);
    std::fclose(in);
    std::fclose(out);
    run.output.assign(written, written + written_size);
    std::free(written);
    return run;
}

}  // namespace vrax::fuzz
