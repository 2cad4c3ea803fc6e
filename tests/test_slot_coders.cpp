// VRAX3 and VRAX3-A, whose decoders rebuild the compressor's slot table: agreement with a plain
// model of the compressors, round trips at every block size, and decoding of hostile blocks.
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "slot_coder_model.h"
#include "test_util.h"
#include "vrax3.h"
#include "vrax3a.h"

namespace vrax::test {
namespace {

struct SlotCodec {
    const char* name;
    CodecCall* call;
    std::uint32_t ways;  // candidates per key: 1 (VRAX3) or 8 (VRAX3-A)
    std::uint32_t largest_block;
};

class SlotCoders : public ::testing::TestWithParam<SlotCodec> {};

INSTANTIATE_TEST_SUITE_P(Codecs, SlotCoders,
                         ::testing::Values(SlotCodec{"Vrax3", vrax3_codec_call, 1, 1u << 20},
                                           SlotCodec{"Vrax3a", vrax3a_codec_call, 8, 1u << 24}),
                         RowName());

// Items in a coded block, counted from its control words.
std::size_t count_items(const Bytes& block) {
    std::size_t items = 0;
    std::size_t q = 4;
    std::uint32_t word = 1;
    while (q < block.size()) {
        if (word == 1) {
            word = std::uint32_t(block[q] | block[q + 1] << 8) | 0x10000u;
            q += 2;
        }
        q += word & 1 ? 2 : 1;
        word >>= 1;
        ++items;
    }
    return items;
}

void expect_round_trip(CodecSession& codec, const Bytes& input) {
    const Bytes block = codec.compress(input);
    ASSERT_EQ(codec.status(), CodecStatus::ok);
    ASSERT_LE(block.size(), input.size() + 4);
    EXPECT_EQ(codec.decompress(block, std::uint32_t(input.size())), input);
    EXPECT_EQ(codec.status(), CodecStatus::ok);
}

// Sizes around the matched/tail border (18), the 16-item groups (288) and the overrun test.
TEST_P(SlotCoders, CompressorEqualsPlainModel) {
    CodecSession codec(GetParam().call);
    for (Shape shape : {Shape::random, Shape::runs, Shape::text, Shape::binary_mix})
        for (std::size_t n : {6, 17, 18, 19, 40, 287, 288, 289, 305, 306, 307, 1000, 4099, 70000})
            for (std::uint32_t seed : {1u, 2u, 3u}) {
                SCOPED_TRACE(::testing::Message() << shape_name(shape) << " n=" << n << " seed=" << seed);
                const Bytes input = generate(shape, n, seed);
                const Bytes block = codec.compress(input);
                ASSERT_EQ(block, model_slot_compress(input, GetParam().ways));
                ASSERT_EQ(codec.decompress(block, std::uint32_t(n)), input);
            }
}

// A compressor may pack its table entries by how many bits the block's positions need, so block
// lengths on either side of powers of two must still give the model's blocks.
TEST_P(SlotCoders, CompressorEqualsPlainModelAroundPowersOfTwo) {
    CodecSession codec(GetParam().call);
    for (std::uint32_t bits : {12u, 13u, 17u, 20u})
        for (std::uint32_t n : {(1u << bits) - 1, 1u << bits, (1u << bits) + 1}) {
            SCOPED_TRACE(::testing::Message() << "n=" << n);
            const Bytes input = generate(Shape::text, n, bits);
            const Bytes block = codec.compress(input);
            ASSERT_EQ(block, model_slot_compress(input, GetParam().ways));
            ASSERT_EQ(codec.decompress(block, n), input);
        }
}

// A block that opens with the fill string's bytes copies from it, however many bits the block's
// positions take; the fill string's entry must read the same in a packed table.
TEST_P(SlotCoders, FillStringOpeningAroundPowersOfTwo) {
    CodecSession codec(GetParam().call);
    for (std::uint32_t bits : {12u, 16u, 20u})
        for (std::uint32_t n : {(1u << bits) - 1, (1u << bits) + 1}) {
            SCOPED_TRACE(::testing::Message() << "n=" << n);
            const Bytes input =
                concat(ascii("123456789012345678123"), generate(Shape::text, n - 21, bits));
            const Bytes block = codec.compress(input);
            ASSERT_EQ(block, model_slot_compress(input, GetParam().ways));
            ASSERT_EQ(codec.decompress(block, n), input);
        }
}

// The table holds 4096 slots; a long block reuses every one of them many times over.
TEST_P(SlotCoders, MoreItemsThanSlots) {
    CodecSession codec(GetParam().call);
    const Bytes input = generate(Shape::binary_mix, 200000, 9);
    const Bytes block = codec.compress(input);
    ASSERT_EQ(block[0], BLOCK_CODED);
    EXPECT_GT(count_items(block), 4096u * 8);
    EXPECT_EQ(block, model_slot_compress(input, GetParam().ways));
    EXPECT_EQ(codec.decompress(block, std::uint32_t(input.size())), input);
}

TEST_P(SlotCoders, RoundTripsAtBlockSizes) {
    CodecSession codec(GetParam().call);
    for (std::uint32_t size = 1u << 16; size <= GetParam().largest_block; size <<= 4)
        for (Shape shape : {Shape::text, Shape::binary_mix, Shape::runs}) {
            SCOPED_TRACE(::testing::Message() << shape_name(shape) << " size=" << size);
            expect_round_trip(codec, generate(shape, size, size ^ 77));
        }
}

// One working memory for many calls: every call starts from a freshly filled table.
TEST_P(SlotCoders, CallsAreIndependent) {
    CodecSession shared(GetParam().call);
    const Bytes first = generate(Shape::text, 5000, 1);
    const Bytes second = generate(Shape::text, 5000, 2);
    shared.compress(first);
    const Bytes after_first = shared.compress(second);
    CodecSession fresh(GetParam().call);
    EXPECT_EQ(after_first, fresh.compress(second));
    EXPECT_EQ(shared.decompress(after_first, 5000), second);
}

// Blocks that only a hand could make but that are well formed: any slot names the fill string
// before the first insertion, and the header's other bytes are ignored.
struct Decoding {
    const char* name;
    Bytes block;
    Bytes output;
};

class SlotCoderDecoding : public ::testing::TestWithParam<std::tuple<SlotCodec, Decoding>> {};

TEST_P(SlotCoderDecoding, DecodesExactly) {
    const auto& [codec_info, v] = GetParam();
    CodecSession codec(codec_info.call);
    EXPECT_EQ(codec.decompress(v.block, std::uint32_t(v.output.size())), v.output);
    EXPECT_EQ(codec.status(), CodecStatus::ok);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, SlotCoderDecoding,
    ::testing::Combine(
        ::testing::Values(SlotCodec{"Vrax3", vrax3_codec_call, 1, 0},
                          SlotCodec{"Vrax3a", vrax3a_codec_call, 8, 0}),
        ::testing::Values(
            Decoding{"HeaderOnly", hex("00 00 00 00"), {}},
            Decoding{"StoredBlock", hex("01 00 00 00 61 62"), ascii("ab")},
            Decoding{"AnyFlagButOneIsCoded", hex("02 AB CD EF FE FF 61"), ascii("a")},
            Decoding{"FirstCopyFromFill", hex("00 00 00 00 FF FF 0F 00"), ascii(FILL_STRING)},
            Decoding{"ShortCopyFromLastSlot", hex("00 00 00 00 FF FF F0 FF"), ascii("123")},
            // The copy's own position (0) takes over slot 0 in both codecs: VRAX3 writes slot 0,
            // VRAX3-A way 0 of set 0 (the cycle counter's first insertion).
            Decoding{"CopyFromCopy", hex("00 00 00 00 FF FF 00 00 00 00"), ascii("123123")})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
    });

// Blocks no compressor writes: each must be refused, not decoded past its buffers.
TEST_P(SlotCoders, RefusesMalformedBlocks) {
    const Bytes sixteen_literals = concat(hex("00 00 00 00 00 00"), repeat('x', 16));
    const struct {
        const char* name;
        Bytes block;
    } cases[] = {
        {"ShorterThanHeader", hex("00 00 00")},
        {"WordDescribesNothing", hex("00 00 00 00 F8 FF")},
        {"CopyCutShort", hex("00 00 00 00 FF FF 0F")},
        {"CopyAfterLiteralsCutShort", hex("00 00 00 00 F8 FF 61 61 61 0F")},
        {"HalfAControlWord", concat(sixteen_literals, hex("00"))},
        {"WordAfterFullWordDescribesNothing", concat(sixteen_literals, hex("00 00"))},
    };
    CodecSession codec(GetParam().call);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        codec.decompress(c.block, 1000);
        EXPECT_EQ(codec.status(), CodecStatus::malformed);
    }
}

// A destination of exactly the decoded length works, one byte less is refused, in the item-by-
// item loop (short blocks) and after the fast loop (long ones).
TEST_P(SlotCoders, OutputCapacityExactlyEnoughAndOneLess) {
    CodecSession codec(GetParam().call);
    for (const Bytes& input : {repeat('a', 21), repeat('a', 100), generate(Shape::text, 10000, 4),
                               generate(Shape::runs, 10000, 4)}) {
        const Bytes block = codec.compress(input);
        ASSERT_EQ(block[0], BLOCK_CODED);
        const auto n = std::uint32_t(input.size());
        EXPECT_EQ(codec.decompress(block, n), input);
        codec.decompress(block, n - 1);
        EXPECT_EQ(codec.status(), CodecStatus::too_long) << "n=" << n;
        const Bytes verbatim = stored(input);
        EXPECT_EQ(codec.decompress(verbatim, n), input);
        codec.decompress(verbatim, n - 1);
        EXPECT_EQ(codec.status(), CodecStatus::too_long);
    }
}

// Random bodies, mostly copies naming arbitrary slots: whatever they decode to must stay inside
// the destination (exactly sized, so a sanitizer sees any stray byte) and be reported honestly.
TEST_P(SlotCoders, HostileBlocksStayInsideBuffers) {
    CodecSession codec(GetParam().call);
    std::mt19937 rng(2024);
    for (int round = 0; round < 3000; ++round) {
        Bytes block(4 + rng() % 700);
        for (auto& b : block) b = std::uint8_t(rng());
        block[0] = BLOCK_CODED;
        // Every other block has control words of all copies, so that every item reads the table.
        if (round % 2)
            for (std::size_t q = 4; q + 1 < block.size(); q += 34) block[q] = block[q + 1] = 0xFF;
        const std::uint32_t capacity = rng() % 2 ? rng() % 12000 : rng() % 64;
        const Bytes out = codec.decompress(block, capacity);
        if (codec.status() == CodecStatus::ok)
            EXPECT_LE(out.size(), capacity);
        else
            EXPECT_TRUE(refused(codec.status()));
    }
}

TEST_P(SlotCoders, RefusesDestinationBelowBound) {
    CodecSession codec(GetParam().call);
    const Bytes input = generate(Shape::text, 1000, 3);
    codec.compress(input, 31);
    EXPECT_EQ(codec.status(), CodecStatus::failed);
    EXPECT_LE(codec.compress(input, 32).size(), input.size() + 4);
    EXPECT_EQ(codec.status(), CodecStatus::ok);
}

TEST_P(SlotCoders, UnknownActionTouchesNothing) {
    Bytes memory(20000), out(16, 0xAB);
    CodecResult result{nullptr, 12345, nullptr};
    const Bytes in = ascii("abcabcabcabcabcabcabcabc");
    GetParam().call(3, memory.data(), in.data(), std::uint32_t(in.size()), out.data(),
                    std::uint32_t(out.size()), &result);
    EXPECT_EQ(result.length, 12345u);
    EXPECT_EQ(out, Bytes(16, 0xAB));
}

}  // namespace
}  // namespace vrax::test
