// VRAX1-A: exact blocks for the cases that pin the format, the table carried across calls, and
// round trips.
#include <gtest/gtest.h>

#include "test_util.h"
#include "vrax1a.h"

namespace vrax::test {
namespace {

struct Vector {
    const char* name;
    Bytes input;
    Bytes block;
};

class Vrax1aVectors : public ::testing::TestWithParam<Vector> {};

TEST_P(Vrax1aVectors, CompressesToExactBlockAndBack) {
    const Vector& v = GetParam();
    CodecSession codec(vrax1a_codec_call);
    EXPECT_EQ(codec.compress(v.input), v.block);
    EXPECT_EQ(codec.decompress(v.block, std::uint32_t(v.input.size())), v.input);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, Vrax1aVectors,
    ::testing::Values(
        Vector{"Empty", {}, hex("01 00 00 00")},
        Vector{"FiveBytesStored", ascii("hello"), hex("01 00 00 00 68 65 6C 6C 6F")},
        Vector{"EighteenAsStored", repeat('a', 18), concat(hex("01 00 00 00"), repeat('a', 18))},
        Vector{"NineteenAs", repeat('a', 19), hex("00 00 00 00 FE FF 61 0F 01")},
        Vector{"ThirtySevenAs", repeat('a', 37), hex("00 00 00 00 FE FF 61 0F 01 0F 12")},
        Vector{"FortyAs", repeat('a', 40), hex("00 00 00 00 C6 FF 61 0F 01 0F 12 61 61 61")},
        Vector{"ThirtySixAsTwoWords", repeat('a', 36),
               concat(concat(hex("00 00 00 00 02 00 61 0F 01"), repeat('a', 14)),
                      hex("F8 FF 61 61 61"))},
        Vector{"AbcThirteenTimes", times(ascii("abc"), 13),
               hex("00 00 00 00 F8 FF 61 62 63 0F 03 0F 12")}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vrax::test
