// VRAX1-A: exact blocks for the cases that pin the format, the hash table carried from one block
// to the next, malformed blocks, and round trips.
#include <gtest/gtest.h>

#include <vector>

#include "hash3.h"
#include "item_stream.h"
#include "test_util.h"
#include "vrax1a.h"
#include "vrax1a_internal.h"

namespace vrax::test {
namespace {

using Vector = BlockVector;

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
        Vector{"SixUnrepeatedBytesStored", ascii("abcdef"), hex("01 00 00 00 61 62 63 64 65 66")},
        Vector{"EighteenAsStored", repeat('a', 18), stored(repeat('a', 18))},
        // A literal, then a copy of offset 1 that repeats the byte it is writing.
        Vector{"NineteenAs", repeat('a', 19), hex("00 00 00 00 FE FF 61 0F 01")},
        Vector{"ThirtySevenAs", repeat('a', 37), hex("00 00 00 00 FE FF 61 0F 01 0F 12")},
        Vector{"FortyAs", repeat('a', 40), hex("00 00 00 00 C6 FF 61 0F 01 0F 12 61 61 61")},
        // The first word fills after 16 items; the last describes three literals.
        Vector{"ThirtySixAsTwoWords", repeat('a', 36),
               concat(concat(hex("00 00 00 00 02 00 61 0F 01"), repeat('a', 14)),
                      hex("F8 FF 61 61 61"))},
        // Copies of 18, then the 18-byte rule stops further copies at the end.
        Vector{"AbcThirteenTimes", times(ascii("abc"), 13),
               hex("00 00 00 00 F8 FF 61 62 63 0F 03 0F 12")},
        // 32 items, the last 17 of them tail literals: exactly as long as the 41-byte input, so
        // the result is this coded block.
        Vector{"CodedFormExactlyAsLongAsInput", ascii("abcdefabcdefghijklmghijklnopqrstuvwxyz012"),
               concat(hex("00 00 00 00 40 40 61 62 63 64 65 66 03 06 67 68 69 6A 6B 6C 6D 03 07 6E 00 80"),
                      ascii("opqrstuvwxyz012"))},
        // One byte more fills the second word, and the word reserved after it passes n: stored,
        // although the items alone would fit.
        Vector{"WordReservedAfterFullWordOverruns", ascii("abcdefabcdefghijklmghijklnopqrstuvwxyz0123"),
               stored(ascii("abcdefabcdefghijklmghijklnopqrstuvwxyz0123"))}),
    RowName());

TEST(Vrax1aCarriedTable, EntriesFromThePreviousBlockGiveCopies) {
    const Bytes first = ascii("abbaaaaaaaaaaaaaabaaabababaa");
    const Bytes second = ascii("ababaaaaaaabababbbabbbbaaaabbaababaab");
    CodecSession carried(vrax1a_codec_call);
    EXPECT_EQ(carried.compress(first).size(), 23u);
    const Bytes block = carried.compress(second);
    ASSERT_EQ(block.size(), 37u);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 12), hex("00 00 00 00 9C 00 61 62 00 02 03 01"));
    EXPECT_EQ(carried.decompress(block, 37), second);

    CodecSession fresh(vrax1a_codec_call);
    EXPECT_EQ(fresh.compress(second), stored(second));
}

TEST(Vrax1aCarriedTable, SameBlockTwiceGivesTheSameBlock) {
    const Bytes input = generate(Shape::text, 5000, 7);
    CodecSession codec(vrax1a_codec_call);
    const Bytes once = codec.compress(input);
    EXPECT_EQ(codec.compress(input), once);
}

// A block abandoned inside a 16-item group keeps every table write of that group: the test for
// the overrun comes after the group, not after the item that overran.
TEST(Vrax1aCarriedTable, AbandonedGroupKeepsAllItsTableWrites) {
    const Bytes input = generate(Shape::random, 4000, 11);
    std::vector<std::uint32_t> memory(vrax1a::WORK_SIZE / 4 + 1, 0);
    Bytes out(input.size() + BLOCK_SLACK);
    CodecResult r{};
    ASSERT_EQ(vrax1a_compress(memory.data(), input.data(), std::uint32_t(input.size()), out.data(),
                              std::uint32_t(out.size()), &r),
              CodecStatus::ok);
    ASSERT_EQ(r.length, input.size() + 4) << "random input must be stored";
    // With random bytes every item is a literal, so group g covers positions 16g to 16g + 15 and
    // the output position after it is 6 + 18 (g + 1). The block is abandoned after the first group
    // that passes n.
    std::uint32_t group = 0;
    while (6 + 18 * (group + 1) <= input.size()) ++group;
    ASSERT_GE(input.size() - 16 * group, 288u) << "the overrun must fall in a 16-item group";
    const std::uint32_t* table = memory.data();
    const std::uint32_t last = 16 * group + 15;
    EXPECT_EQ(table[hash3_slot(&input[last])], last);
}

using Malformed = MalformedBlock;

class Vrax1aMalformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(Vrax1aMalformed, IsRefused) {
    CodecSession codec(vrax1a_codec_call);
    codec.decompress(GetParam().block, GetParam().capacity);
    EXPECT_TRUE(refused(codec.status()));
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, Vrax1aMalformed,
    ::testing::Values(Malformed{"ShorterThanHeader", hex("00 00 00"), 100},
                      Malformed{"StoredLargerThanCapacity", hex("01 00 00 00 61 62"), 1},
                      Malformed{"HalfAControlWord", hex("00 00 00 00 FE"), 100},
                      Malformed{"ControlWordWithoutItems", hex("00 00 00 00 FE FF"), 100},
                      Malformed{"CopyItemCutShort", hex("00 00 00 00 FF FF 0F"), 100},
                      Malformed{"OffsetZero", hex("00 00 00 00 FE FF 61 0F 00"), 100},
                      Malformed{"OffsetBeforeStart", hex("00 00 00 00 FE FF 61 0F 02"), 100},
                      Malformed{"OutputOneShort", hex("00 00 00 00 FE FF 61 0F 01"), 18},
                      Malformed{"LiteralPastCapacity", hex("00 00 00 00 00 00 61 61"), 1}),
    RowName());

TEST(Vrax1aDecode, HeaderBytesOtherThanTheFlagAreIgnored) {
    CodecSession codec(vrax1a_codec_call);
    EXPECT_EQ(codec.decompress(hex("02 FF FF FF FE FF 61 0F 01"), 19), repeat('a', 19));
    EXPECT_EQ(codec.decompress(hex("00 00 00 00"), 0), Bytes{});
    EXPECT_EQ(codec.decompress(hex("01 12 34 56 61"), 1), ascii("a"));
}

// Exact capacity decodes; the fast loop and the checked tail loop give the same bytes whatever
// the capacity that decides where one hands over to the other.
TEST(Vrax1aDecode, CapacityDoesNotChangeTheResult) {
    for (Shape shape : {Shape::text, Shape::runs, Shape::binary_mix}) {
        const Bytes input = generate(shape, 20000, 3);
        CodecSession codec(vrax1a_codec_call);
        const Bytes block = codec.compress(input);
        ASSERT_EQ(block[0], BLOCK_CODED) << shape_name(shape);
        for (std::uint32_t extra : {0u, 1u, 17u, 300u, 5000u})
            EXPECT_EQ(codec.decompress(block, std::uint32_t(input.size()) + extra), input)
                << shape_name(shape) << " extra " << extra;
        codec.decompress(block, std::uint32_t(input.size()) - 1);
        EXPECT_EQ(codec.status(), CodecStatus::too_long) << shape_name(shape);
    }
}

// Many blocks through one working memory, as the driver compresses a file; every block decodes
// alone and none grows by more than its header.
TEST(Vrax1aRoundTrip, BlocksOfManySizesAndShapesThroughOneWorkingMemory) {
    const std::uint32_t sizes[] = {0, 1, 5, 6, 17, 18, 19, 287, 288, 289, 4095, 4096, 4097, 70001};
    for (Shape shape : {Shape::random, Shape::runs, Shape::text, Shape::binary_mix}) {
        CodecSession codec(vrax1a_codec_call);
        std::uint32_t seed = 100;
        for (std::uint32_t n : sizes) {
            const Bytes input = generate(shape, n, ++seed);
            const Bytes block = codec.compress(input);
            ASSERT_EQ(codec.status(), CodecStatus::ok);
            EXPECT_LE(block.size(), n + 4u);
            EXPECT_EQ(codec.decompress(block, n), input)
                << shape_name(shape) << " n=" << n << " seed=" << seed;
        }
    }
}

TEST(Vrax1aEntry, IdentityAndUnknownActions) {
    CodecResult r{};
    r.length = 12345;
    vrax1a_codec_call(ACTION_IDENTIFY, nullptr, nullptr, 0, nullptr, 0, &r);
    ASSERT_NE(r.identity, nullptr);
    EXPECT_EQ(r.identity->id, 0x4B3E387Bu);
    EXPECT_EQ(r.identity->memory, 16387u);
    EXPECT_STREQ(r.identity->name, "VRAX1-A");
    EXPECT_STREQ(r.identity->notice, r.identity->copyright);

    Bytes destination(8, 0xAA);
    CodecResult untouched{};
    untouched.length = 777;
    vrax1a_codec_call(3, nullptr, destination.data(), 8, destination.data(), 8, &untouched);
    EXPECT_EQ(untouched.length, 777u);
    EXPECT_EQ(destination, Bytes(8, 0xAA));
}

TEST(Vrax1aEntry, CompressRefusesADestinationBelowItsBound) {
    const Bytes input = repeat('a', 100);
    Bytes out(input.size() + 31);
    std::vector<std::uint8_t> memory(vrax1a::WORK_SIZE, 0);
    CodecResult r{};
    EXPECT_EQ(vrax1a_compress(memory.data(), input.data(), 100, out.data(), std::uint32_t(out.size()), &r),
              CodecStatus::failed);
}

}  // namespace
}  // namespace vrax::test
