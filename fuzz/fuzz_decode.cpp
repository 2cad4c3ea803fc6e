// Decodes arbitrary bytes as one block with every decoder of the table.
//
// Input: byte 0 picks the codec (low 4 bits) and how far into its allocation the working memory
// starts (bits 4-5); byte 1 picks the destination capacity (decode_capacity); the rest is the
// block, copied flush against the end of a heap buffer. A decoder must either decode within the
// capacity or refuse, and never touch a byte outside its buffers. A block that decodes to m bytes
// must decode the same into exactly m bytes (with other garbage in the working memory) and be
// refused with m - 1: the fast and the checked loops agree on where the output ends.
#include <cstdint>
#include <cstring>

#include "fuzz_harness.h"

using namespace vrax::fuzz;

namespace {

struct Decoded {
    CodecStatus status;
    std::uint32_t length;
    HeapBytes out;
};

Decoded decode(const FuzzCodec& codec, const HeapBytes& block, std::uint32_t capacity,
               unsigned misalign, std::uint8_t fill) {
    WorkMemory work(codec, misalign, fill);
    Decoded d{CodecStatus::ok, 0, HeapBytes(capacity)};
    CodecResult result{};
    d.status = codec.handle.decompress(work.get(), block.data(), std::uint32_t(block.size()),
                                d.out.data(), capacity, &result);
    FUZZ_CHECK(d.status == CodecStatus::ok || d.status == CodecStatus::malformed ||
               d.status == CodecStatus::too_long || d.status == CodecStatus::failed);
    if (d.status == CodecStatus::ok) {
        FUZZ_CHECK(result.length <= capacity);
        d.length = result.length;
    }
    if (d.status == CodecStatus::failed) FUZZ_CHECK(result.message != nullptr);
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const FuzzCodec& codec = pick_codec(data[0]);
    const unsigned misalign = data[0] >> 4 & 3;
    const HeapBytes block(data + 2, size - 2);
    const std::uint32_t capacity = decode_capacity(codec, data[1], std::uint32_t(block.size()));

    Decoded first = decode(codec, block, capacity, misalign, 0x00);
    if (first.status != CodecStatus::ok) return 0;

    const std::uint32_t m = first.length;
    Decoded exact = decode(codec, block, m, misalign ^ 1, 0xA5);
    FUZZ_CHECK(exact.status == CodecStatus::ok);
    FUZZ_CHECK(exact.length == m);
    FUZZ_CHECK(m == 0 || std::memcmp(exact.out.data(), first.out.data(), m) == 0);
    if (m != 0) {
        Decoded short_by_one = decode(codec, block, m - 1, misalign, 0x00);
        FUZZ_CHECK(short_by_one.status != CodecStatus::ok);
    }
    return 0;
}
