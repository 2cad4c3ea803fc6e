// VRAX2: exact blocks for the cases that pin the format (phrase numbering, the fill string, reuse
// of a number 4096 items later), decoder hardening, round trips against a plain model of the
// format, and the vrax2 program end to end.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "fill_string.h"
#include "hash3.h"
#include "program_runner.h"
#include "test_util.h"
#include "vrax2.h"

namespace vrax::test {
namespace {

const Bytes FILL = ascii(FILL_STRING);

// A copy item naming phrase `number` with `len` bytes, as the block holds it.
Bytes copy_item(std::uint32_t number, std::uint32_t len) {
    return {std::uint8_t((number >> 8) << 4 | (len - 3)), std::uint8_t(number)};
}

// A coded block of the given items (1 byte: a literal, 2 bytes: a copy), with a control word before
// every 16 and the bits of the last word that describe no item set to 1.
Bytes coded_block(const std::vector<Bytes>& items) {
    Bytes block = hex("00 00 00 00");
    std::size_t word = 0;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (k % 16 == 0) {
            word = block.size();
            block.insert(block.end(), {0xFF, 0xFF});
        }
        if (items[k].size() == 1) block[word + k % 16 / 8] &= std::uint8_t(~(1u << k % 8));
        block.insert(block.end(), items[k].begin(), items[k].end());
    }
    return block;
}

// --- Exact blocks, both directions ---

using Vector = BlockVector;

class Vrax2Vectors : public ::testing::TestWithParam<Vector> {};

TEST_P(Vrax2Vectors, CompressesToExactBlockAndBack) {
    const Vector& v = GetParam();
    CodecSession codec(vrax2_codec_call);
    EXPECT_EQ(codec.compress(v.input), v.block);
    const auto n = std::uint32_t(v.input.size());
    EXPECT_EQ(codec.decompress(v.block, n), v.input);
    EXPECT_EQ(codec.status(), CodecStatus::ok);
    if (n > 0) {
        codec.decompress(v.block, n - 1);
        EXPECT_EQ(codec.status(), CodecStatus::too_long) << "one byte short of the output";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, Vrax2Vectors,
    ::testing::Values(
        Vector{"Empty", {}, hex("01 00 00 00")},
        Vector{"SeventeenAsStored", repeat('a', 17), stored(repeat('a', 17))},
        Vector{"SeventeenFillBytesStored", Bytes(FILL.begin(), FILL.end() - 1),
               stored(Bytes(FILL.begin(), FILL.end() - 1))},
        // The first item is compared with the fill string through phrase 0.
        Vector{"FillStringOnce", FILL, hex("00 00 00 00 FF FF 0F 00")},
        // The second copy names phrase 0 again, now offset 0; the third names phrase 1.
        Vector{"FillStringThreeTimes", times(FILL, 3), hex("00 00 00 00 FF FF 0F 00 0F 00 0F 01")},
        // Three bytes from the fill string are a copy; then phrase 0 is offset 0 and no match.
        Vector{"ShortFillMatch", concat(ascii("123"), repeat('x', 40)),
               hex("00 00 00 00 8D FF 00 00 78 0F 01 0F 02 78 78 78")},
        // A copy from phrase 0 (offset 0) that overlaps its own output; two tail literals.
        Vector{"TwentyOneAs", repeat('a', 21), hex("00 00 00 00 F2 FF 61 0F 00 61 61")},
        // Each item takes over the slot of "aaa", so each copy names the item just before it.
        Vector{"HundredAs", repeat('a', 100),
               concat(hex("00 00 00 00 3E 80 61 0F 00 0F 01 0F 02 0F 03 0F 04"), repeat('a', 9))},
        // Offset 0 is recorded at once, so the first copy comes at offset 2.
        Vector{"AbTwentyTimes", times(ascii("ab"), 20),
               hex("00 00 00 00 CC FF 61 62 0F 00 0F 02 61 62")}),
    RowName());

// Every input shorter than 18 bytes has no matched item: literals only, which never pay.
TEST(Vrax2Stored, ShortInputsAreStored) {
    CodecSession codec(vrax2_codec_call);
    for (std::size_t n = 1; n <= 17; ++n) {
        for (const Bytes& input : {repeat('a', n), Bytes(FILL.begin(), FILL.begin() + long(n))}) {
            EXPECT_EQ(codec.compress(input), stored(input)) << n;
        }
    }
    const Bytes noise = generate(Shape::random, 500, 7);
    EXPECT_EQ(codec.compress(noise), stored(noise));
}

// The slots that the hand-worked blocks above rely on.
TEST(Vrax2Hash, SlotsOfWorkedBlocks) {
    EXPECT_EQ(hash3_slot(ascii("aaa").data()), 0x20Eu);
    EXPECT_EQ(hash3_slot(ascii("aba").data()), 0x6F1u);
    EXPECT_EQ(hash3_slot(ascii("123").data()), 0x4F0u);
}

// Item 4096 finds the slot that item 0 wrote and names number 0, which it is about to take
// itself: the source must be where item 0 started, read before item 4096 records its own start.
// Input: "abc" "z" then 4092 × 18 bytes "z" (literals a, b, c, z and 4092 copies naming the item
// before), then "abc" + 15 × "z" again.
TEST(Vrax2NumberReuse, SlotNamingTheNumberAboutToBeReused) {
    const std::size_t run = 1 + 4092 * 18;
    const Bytes input =
        concat(concat(ascii("abc"), repeat('z', run)), concat(ascii("abc"), repeat('z', 15)));
    // The premise: none of the items between the two "abc" writes the slot of "abc".
    const std::uint32_t abc = hash3_slot(input.data());
    for (std::size_t i : {1, 2, 3}) ASSERT_NE(hash3_slot(input.data() + i), abc) << i;

    std::vector<Bytes> items = {ascii("a"), ascii("b"), ascii("c"), ascii("z")};
    for (std::uint32_t item = 4; item < 4096; ++item) items.push_back(copy_item(item - 1, 18));
    items.push_back(hex("0F 00"));  // item 4096 names number 0, the source offset 0
    const Bytes block = coded_block(items);
    ASSERT_EQ(Bytes(block.begin(), block.begin() + 10), hex("00 00 00 00 F0 FF 61 62 63 7A"));

    CodecSession codec(vrax2_codec_call);
    EXPECT_EQ(codec.compress(input), block);
    EXPECT_EQ(codec.decompress(block, std::uint32_t(input.size())), input);
}

// --- Decoding hand-made blocks ---

struct DecodeCase {
    const char* name;
    Bytes block;
    Bytes output;  // empty with `ok` false: the block must be refused
    bool ok;
};

class Vrax2Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Vrax2Decode, DecodesOrRefuses) {
    const DecodeCase& c = GetParam();
    CodecSession codec(vrax2_codec_call);
    const Bytes out = codec.decompress(c.block, 4096);
    EXPECT_EQ(codec.status(), c.ok ? CodecStatus::ok : CodecStatus::malformed);
    if (c.ok) {
        EXPECT_EQ(out, c.output);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, Vrax2Decode,
    ::testing::Values(
        DecodeCase{"EmptyCodedBody", hex("00 00 00 00"), {}, true},
        DecodeCase{"AnyFlagButOneIsCoded", hex("02 AB CD EF FE FF 61"), ascii("a"), true},
        DecodeCase{"Stored", hex("01 00 00 00 61 62"), ascii("ab"), true},
        DecodeCase{"FirstItemCopiesFillString", hex("00 00 00 00 FF FF 0F 00"), FILL, true},
        DecodeCase{"ThreeBytesOfFillString", hex("00 00 00 00 FF FF 00 00"), ascii("123"), true},
        DecodeCase{"CopyRepeatsWhatItWrites", hex("00 00 00 00 FE FF 61 0F 00"), repeat('a', 19),
                   true},
        DecodeCase{"CopyFromSecondItem", hex("00 00 00 00 FC FF 61 62 00 01"), ascii("abbbb"),
                   true},
        // Phrase numbers that no item of the block has taken yet.
        DecodeCase{"CopyNamesItsOwnNumber", hex("00 00 00 00 FE FF 61 0F 01"), {}, false},
        DecodeCase{"CopyNamesLaterNumber", hex("00 00 00 00 FC FF 61 62 00 02"), {}, false},
        DecodeCase{"FirstItemNamesUnsetNumber", hex("00 00 00 00 FF FF 0F 05"), {}, false},
        DecodeCase{"FirstItemNamesHighestNumber", hex("00 00 00 00 FF FF FF FF"), {}, false},
        // Items cut off by the end of the block.
        DecodeCase{"HeaderCut", hex("00 00 00"), {}, false},
        DecodeCase{"ControlWordCut", hex("00 00 00 00 FE"), {}, false},
        DecodeCase{"ControlWordWithoutItems", hex("00 00 00 00 FE FF"), {}, false},
        DecodeCase{"CopyItemCut", hex("00 00 00 00 FE FF 61 0F"), {}, false}),
    RowName());

// A block of `literals` literal items followed by one copy of 3 bytes naming `number`.
Bytes literals_then_copy(std::uint32_t literals, std::uint32_t number) {
    std::vector<Bytes> items;
    for (std::uint32_t item = 0; item < literals; ++item)
        items.push_back({std::uint8_t('a' + item % 26)});
    items.push_back(copy_item(number, 3));
    return coded_block(items);
}

// Before the numbers wrap only those below the counter exist; after, every number names an item.
TEST(Vrax2Decode, NumbersDefinedOnlyOnceTaken) {
    struct Case {
        std::uint32_t literals, number;
        bool ok;
    };
    for (const Case& c : {Case{10, 9, true}, Case{10, 10, false}, Case{10, 4000, false},
                          Case{4095, 4094, true}, Case{4095, 4095, false},
                          Case{4096, 4095, true}, Case{4100, 4000, true}, Case{4100, 3, true}}) {
        const Bytes block = literals_then_copy(c.literals, c.number);
        CodecSession codec(vrax2_codec_call);
        const Bytes out = codec.decompress(block, c.literals + 3);
        ASSERT_EQ(codec.status(), c.ok ? CodecStatus::ok : CodecStatus::malformed)
            << c.literals << " literals, number " << c.number;
        if (c.ok) {
            // Number m names the last item that took it, 4096 × w + m; the copy runs forward.
            std::uint32_t source = c.number;
            while (source + 4096 < c.literals) source += 4096;
            Bytes expected;
            for (std::uint32_t j = 0; j < c.literals; ++j)
                expected.push_back(std::uint8_t('a' + j % 26));
            for (std::uint32_t j = 0; j < 3; ++j) expected.push_back(expected[source + j]);
            EXPECT_EQ(out, expected) << c.literals << " literals, number " << c.number;
        }
    }
}

// A position that an earlier call left in the phrase table must not be reachable, even where it
// lies inside the output written so far.
TEST(Vrax2Decode, NoStaleEntriesFromEarlierCall) {
    CodecSession codec(vrax2_codec_call);
    codec.decompress(literals_then_copy(300, 0), 303);
    ASSERT_EQ(codec.status(), CodecStatus::ok);

    // 'x', then 20 copies of 18 each naming the item before: 361 bytes, 21 numbers taken.
    std::vector<Bytes> items = {ascii("x")};
    for (std::uint32_t item = 1; item < 21; ++item) items.push_back(copy_item(item - 1, 18));
    EXPECT_EQ(codec.decompress(coded_block(items), 361), repeat('x', 361));
    ASSERT_EQ(codec.status(), CodecStatus::ok);
    // Number 200 was taken by the first call (position 200) but by no item of this block.
    items.push_back(copy_item(200, 3));
    EXPECT_EQ(codec.decompress(coded_block(items), 364), Bytes{});
    EXPECT_EQ(codec.status(), CodecStatus::malformed);
}

// The same refusal inside whole 16-item groups, which the decoder takes without per-item bound
// tests: 32 items of which item `bad` names its own number instead of item 0's. Every other copy
// stays sound, so only the refusal itself can fail the block.
TEST(Vrax2Decode, UnsetNumberRefusedInWholeGroups) {
    for (std::uint32_t bad : {0u, 1u, 7u, 15u, 16u, 31u}) {
        std::vector<Bytes> items = {ascii("x")};
        for (std::uint32_t item = 1; item < 32; ++item)
            items.push_back(copy_item(item == bad ? item : 0, 18));
        CodecSession codec(vrax2_codec_call);
        const Bytes out = codec.decompress(coded_block(items), 4096);
        if (bad == 0) {
            EXPECT_EQ(out, repeat('x', 1 + 31 * 18));
        } else {
            EXPECT_EQ(codec.status(), CodecStatus::malformed) << "item " << bad;
        }
    }
}

// Blocks of random items against a decoder written item by item. Groups with few copies, whose
// entries the fast decoder writes four at a time, are mixed with dense ones; copies name recent
// numbers and, past the first 4096 items, numbers taken 4096 items before, just about to be taken
// again (the entries that the four-at-a-time writes run into), through several table cycles.
TEST(Vrax2Decode, RandomItemsMatchItemByItemDecoding) {
    for (std::uint32_t literal_share : {0u, 30u, 60u, 85u}) {
        std::mt19937 rng(literal_share + 1);
        std::vector<Bytes> items;
        Bytes expected;
        std::vector<std::int64_t> phrase(4096, -2);  // -2 untaken, -1 the fill string
        phrase[0] = -1;
        for (std::uint32_t k = 0; k < 3 * 4096 + 100; ++k) {
            const auto start = std::int64_t(expected.size());
            if (k == 0 || rng() % 100 < literal_share) {
                items.push_back({std::uint8_t(rng())});
                expected.push_back(items.back()[0]);
            } else {
                const std::uint32_t ahead = k >= 4096 && rng() % 3 == 0 ? rng() % 24 : 0;
                const std::uint32_t number =
                    ahead != 0 || (k >= 4096 && rng() % 2) ? (k + ahead) % 4096
                                                           : k - 1 - rng() % std::min(k, 40u);
                const std::uint32_t len = 3 + rng() % 16;
                items.push_back(copy_item(number % 4096, len));
                const std::int64_t source = phrase[number % 4096];
                for (std::uint32_t j = 0; j < len; ++j)
                    expected.push_back(source < 0 ? FILL[j] : expected[std::size_t(source) + j]);
            }
            phrase[k % 4096] = start;
        }
        CodecSession codec(vrax2_codec_call);
        EXPECT_EQ(codec.decompress(coded_block(items), std::uint32_t(expected.size())), expected)
            << "literal share " << literal_share;
    }
}

// --- Round trips against a plain model of the format ---

// The format written out item by item, one byte at a time, testing the output position after every
// item: what the fast compressor must produce byte for byte.
Bytes model_compress(const Bytes& s) {
    const std::size_t n = s.size();
    const Bytes verbatim = stored(s);
    if (n < 6) return verbatim;
    std::array<std::uint16_t, 4096> hash{};
    std::array<std::int64_t, 4096> phrase{};
    phrase[0] = -1;  // the fill string
    std::uint32_t k = 0;
    Bytes out = hex("00 00 00 00 00 00");
    std::size_t word = 4, items = 0;
    std::uint32_t flags = 0;
    for (std::size_t i = 0; i < n;) {
        bool copy = false;
        if (i + 18 <= n) {
            const std::uint32_t slot = hash3_slot(&s[i]);
            const std::uint32_t c = hash[slot];
            const std::int64_t p = phrase[c];
            hash[slot] = std::uint16_t(k);
            phrase[k] = std::int64_t(i);
            k = (k + 1) % 4096;
            std::uint32_t len = 0;
            while (len < 18 && s[i + len] == (p < 0 ? FILL[len] : s[std::size_t(p) + len])) ++len;
            if (len >= 3) {
                const Bytes item = copy_item(c, len);
                out.insert(out.end(), item.begin(), item.end());
                flags |= 1u << items % 16;
                i += len;
                copy = true;
            }
        }
        if (!copy) out.push_back(s[i++]);
        if (++items % 16 == 0) {
            out[word] = std::uint8_t(flags);
            out[word + 1] = std::uint8_t(flags >> 8);
            flags = 0;
            word = out.size();
            out.resize(word + 2);
        }
        if (out.size() > n) return verbatim;
    }
    if (items % 16 == 0) {
        out.resize(word);
    } else {
        flags |= 0xFFFFu << items % 16;
        out[word] = std::uint8_t(flags);
        out[word + 1] = std::uint8_t(flags >> 8);
    }
    return out;
}

class Vrax2RoundTrip : public ::testing::TestWithParam<Shape> {};

TEST_P(Vrax2RoundTrip, MatchesModelAndDecodesExactly) {
    CodecSession codec(vrax2_codec_call);
    for (std::size_t n : {6, 18, 19, 35, 36, 287, 288, 289, 305, 4096, 70001, 1 << 20}) {
        for (std::uint32_t seed : {1u, 2u}) {
            const Bytes input = generate(GetParam(), n, seed);
            const Bytes block = codec.compress(input);
            ASSERT_EQ(block, model_compress(input)) << "n " << n << " seed " << seed;
            const auto size = std::uint32_t(n);
            ASSERT_EQ(codec.decompress(block, size), input) << "n " << n << " seed " << seed;
            if (block[0] == BLOCK_CODED) {
                codec.decompress(block, size - 1);
                ASSERT_EQ(codec.status(), CodecStatus::too_long) << "n " << n << " seed " << seed;
            }
        }
    }
}

// The compressor may pack its phrase entries by how many bits the block's positions need, so block
// lengths on either side of powers of two, with or without the fill string's bytes first, must
// still give the model's blocks.
TEST(Vrax2RoundTrip, MatchesModelAroundPowersOfTwo) {
    CodecSession codec(vrax2_codec_call);
    for (const char* opening : {"", "123456789012345678123"})
        for (std::uint32_t bits : {12u, 13u, 17u, 20u})
            for (std::uint32_t n : {(1u << bits) - 1, 1u << bits, (1u << bits) + 1}) {
                SCOPED_TRACE(::testing::Message() << "opening=" << opening << " n=" << n);
                const Bytes head = ascii(opening);
                const Bytes input =
                    concat(head, generate(Shape::text, n - head.size(), bits));
                const Bytes block = codec.compress(input);
                ASSERT_EQ(block, model_compress(input));
                ASSERT_EQ(codec.decompress(block, n), input);
            }
}

INSTANTIATE_TEST_SUITE_P(Shapes, Vrax2RoundTrip,
                         ::testing::Values(Shape::random, Shape::runs, Shape::text,
                                           Shape::binary_mix),
                         [](const auto& info) { return std::string(shape_name(info.param)); });

// The same working memory serves compress and decompress calls in any order: no call depends on
// what an earlier one left there.
TEST(Vrax2RoundTrip, CallsAreIndependent) {
    CodecSession codec(vrax2_codec_call);
    const Bytes first = generate(Shape::text, 50000, 3);
    const Bytes second = generate(Shape::binary_mix, 50000, 4);
    const Bytes block = codec.compress(second);
    codec.compress(first);
    codec.decompress(codec.compress(first), 50000);
    EXPECT_EQ(codec.compress(second), block);
    EXPECT_EQ(codec.decompress(block, 50000), second);
}

TEST(Vrax2Identity, RecordAndWorkingMemory) {
    CodecSession codec(vrax2_codec_call);
    const AlgorithmIdentity& id = codec.identity();
    EXPECT_EQ(id.id, 0x3D8F733Au);
    EXPECT_EQ(id.memory, 24676u);
    EXPECT_STREQ(id.name, "VRAX2");
    EXPECT_STREQ(id.version, "1.0");
    EXPECT_STREQ(id.date, "25-Nov-1990");
    EXPECT_EQ(id.notice, id.copyright);

    // An unknown action touches nothing.
    CodecResult r{nullptr, 77, nullptr};
    std::uint8_t out[4] = {9, 9, 9, 9};
    const std::uint8_t in[1] = {0};
    vrax2_codec_call(3, nullptr, in, 1, out, 4, &r);
    EXPECT_EQ(r.length, 77u);
    EXPECT_EQ(out[0], 9);

    // A compressor given less than its worst case refuses instead of overrunning.
    codec.compress(repeat('a', 100), 31);
    EXPECT_EQ(codec.status(), CodecStatus::failed);
}

// --- The program ---

TEST(Vrax2Program, CompressesAndDecompressesFile) {
    ScratchDir dir;
    // Three blocks, the last one short, with text, runs and noise.
    const Bytes input = concat(
        concat(generate(Shape::text, 1 << 20, 5), generate(Shape::runs, 1 << 20, 6)),
        generate(Shape::random, 12345, 7));
    write_file(dir / "in", input);
    RunResult c = run_program("vrax2", {"c", dir / "in", dir / "packed"});
    ASSERT_EQ(c.status, 0) << c.err;
    const Bytes packed = read_file(dir / "packed");
    EXPECT_LT(packed.size(), input.size());
    RunResult d = run_program("vrax2", {"d", dir / "packed", dir / "out"});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(read_file(dir / "out"), input);
}

TEST(Vrax2Program, CorruptStreamFailsWithMessage) {
    ScratchDir dir;
    // One record whose only item names a phrase number that nothing has taken.
    write_file(dir / "bad", hex("00 00 00 08 00 00 00 00 FF FF 0F 05"));
    RunResult d = run_program("vrax2", {"d", dir / "bad", dir / "out"});
    EXPECT_EQ(d.status, 1);
    EXPECT_NE(d.err.find("corrupt stream"), std::string::npos) << d.err;
}

}  // namespace
}  // namespace vrax::test
