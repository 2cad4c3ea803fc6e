// vrax_decompress on arbitrary streams, at several thread counts and destination capacities:
// every run must agree with the single-threaded one on the result, the error text and every byte
// it leaves in the destination, and never write past the capacity.
//
// Input: byte 0 picks the format (low 4 bits, as the other targets pick the codec); byte 1 the
// smaller capacity (decode_capacity's choices, measured against the decoded size); the rest is
// the stream. Links only libvrax.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_harness.h"
#include "vrax.h"

using namespace vrax::fuzz;

namespace {

// Room for every stream that a fuzz input can hold, bar ones that expand beyond all reason; those
// give VRAX_ERROR_DST_TOO_SMALL alike at every thread count.
constexpr std::size_t LARGE_CAPACITY = std::size_t(1) << 20;

struct Decoded {
    std::size_t result;
    std::string text;
    HeapBytes out;
};

Decoded decode(const char* format, const HeapBytes& stream, std::size_t capacity,
               unsigned threads) {
    Decoded d{0, {}, HeapBytes(capacity)};
    if (capacity != 0) std::memset(d.out.data(), 0, capacity);
    d.result = vrax_decompress(format, stream.data(), stream.size(),
                               capacity == 0 ? nullptr : d.out.data(), capacity, threads);
    if (vrax_is_error(d.result)) d.text = vrax_error_string(d.result);
    return d;
}

bool same(const Decoded& a, const Decoded& b) {
    return a.result == b.result && a.text == b.text && a.out.size() == b.out.size() &&
           (a.out.size() == 0 || std::memcmp(a.out.data(), b.out.data(), a.out.size()) == 0);
}

// `small` (capacity c) holds the records before its failure: a prefix of `large`'s output, then
// zeros.
bool is_prefix_then_zeros(const Decoded& small, const Decoded& large) {
    std::size_t k = 0;
    while (k < small.out.size() && small.out.data()[k] == large.out.data()[k]) ++k;
    for (; k < small.out.size(); ++k)
        if (small.out.data()[k] != 0) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const FuzzCodec& codec = pick_codec(data[0]);
    const HeapBytes stream(data + 2, size - 2);

    const Decoded reference = decode(codec.name, stream, LARGE_CAPACITY, 1);
    for (unsigned threads : {2u, 3u, 8u})
        FUZZ_CHECK(same(decode(codec.name, stream, LARGE_CAPACITY, threads), reference));
    const bool decoded = !vrax_is_error(reference.result);
    if (decoded) FUZZ_CHECK(reference.result <= LARGE_CAPACITY);

    // A smaller destination: the same outcome if the bytes fit, else VRAX_ERROR_DST_TOO_SMALL,
    // with the records that fit in place.
    const std::size_t n = decoded ? reference.result : LARGE_CAPACITY;
    std::size_t capacity = decode_capacity(codec, data[1], std::uint32_t(n));
    if ((data[1] & 7) == 2) capacity = n - (n != 0);  // one byte short
    if (capacity >= LARGE_CAPACITY) return 0;
    const Decoded one = decode(codec.name, stream, capacity, 1);
    FUZZ_CHECK(same(decode(codec.name, stream, capacity, 3), one));
    if (decoded && n <= capacity) {
        FUZZ_CHECK(one.result == n && std::memcmp(one.out.data(), reference.out.data(), n) == 0);
    } else {
        FUZZ_CHECK(vrax_is_error(one.result));
        FUZZ_CHECK(vrax_get_error_code(one.result) == VRAX_ERROR_DST_TOO_SMALL ||
                   one.result == reference.result);
        FUZZ_CHECK(is_prefix_then_zeros(one, reference));
    }
    return 0;
}
