// VRAX5: exact blocks for the cases that pin the format (runs up to the 255-byte phrase limit,
// phrases left out of the tree, the abandon test, the literal tail), the decoder's refusals,
// capacities, and round trips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "program_runner.h"
#include "test_util.h"
#include "vrax5_model.h"
#include "vrax5.h"
#include "vrax5_internal.h"

namespace vrax::test {
namespace {

// A coded block: header, then the phrase numbers, two bytes each, high byte first.
Bytes coded(const std::vector<std::uint32_t>& numbers) {
    Bytes block = hex("00 00 00 00");
    for (std::uint32_t x : numbers) {
        block.push_back(std::uint8_t(x >> 8));
        block.push_back(std::uint8_t(x));
    }
    return block;
}

// Phrase numbers from..to, both included.
std::vector<std::uint32_t> numbers(std::uint32_t from, std::uint32_t to) {
    std::vector<std::uint32_t> v;
    for (std::uint32_t x = from; x <= to; ++x) v.push_back(x);
    return v;
}

std::vector<std::uint32_t> operator+(std::vector<std::uint32_t> a,
                                     const std::vector<std::uint32_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::uint32_t> same(std::uint32_t x, std::size_t count) {
    return std::vector<std::uint32_t>(count, x);
}

// Root items for every byte of `data`.
std::vector<std::uint32_t> roots(const Bytes& data) {
    return std::vector<std::uint32_t>(data.begin(), data.end());
}

Bytes ascending(std::uint32_t from, std::uint32_t to) {
    Bytes out;
    for (std::uint32_t b = from; b <= to; ++b) out.push_back(std::uint8_t(b));
    return out;
}


using Vector = BlockVector;

class Vrax5Vectors : public ::testing::TestWithParam<Vector> {};

TEST_P(Vrax5Vectors, CompressesToExactBlockAndBack) {
    const Vector& v = GetParam();
    CodecSession codec(vrax5_codec_call);
    EXPECT_EQ(codec.compress(v.input), v.block);
    EXPECT_EQ(codec.decompress(v.block, std::uint32_t(v.input.size())), v.input);
    EXPECT_EQ(codec.status(), CodecStatus::ok);
}

const Bytes worked_example = concat(repeat(0x61, 6), ascending(0, 255));
const Bytes two_prefixes = concat(hex("61 62 63 61 62 64"), ascending(0, 255));
// 510 bytes whose first 254 positions hold no repeated pair: 254 single-byte items bring the
// output to exactly 510 bytes before the last of them, which is not beyond n; one byte more and
// the 255th item would start beyond it.
const Bytes no_pairs_510 = concat(ascending(0, 255), ascending(0, 253));
const Bytes no_pairs_511 = concat(ascending(0, 255), ascending(0, 254));

INSTANTIATE_TEST_SUITE_P(
    ShortInputs, Vrax5Vectors,
    ::testing::Values(
        Vector{"Empty", {}, hex("00 00 00 00")},
        Vector{"OneByte", hex("7F"), hex("00 00 00 00 00 7F")},
        Vector{"ZerosAllTail", repeat(0, 256), coded(same(0, 256))},
        Vector{"ZerosOneItemThenTail", repeat(0, 257), coded(same(0, 257))},
        Vector{"TwoItemsThenTail", concat(ascending(0, 255), hex("61 62")),
               coded(roots(concat(ascending(0, 255), hex("61 62"))))}),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    Phrases, Vrax5Vectors,
    ::testing::Values(
        // Phrases 256, 257, 258 grow along the greater links of a run.
        Vector{"WorkedExample", worked_example,
               coded(std::vector<std::uint32_t>{0x61, 256, 257} + roots(ascending(0, 255)))},
        Vector{"PhraseNamedAfterOthers", two_prefixes,
               coded(std::vector<std::uint32_t>{0x61, 0x62, 0x63, 256, 0x64} +
                     roots(ascending(0, 255)))},
        // Coded although longer than the 304-byte stored form: the tail is not tested.
        Vector{"ThreeHundredZeros", repeat(0, 300),
               coded(same(0, 1) + numbers(256, 263) + same(0, 255))},
        Vector{"ThreeThousandZeros", repeat(0, 3000),
               coded(same(0, 1) + numbers(256, 328) + same(0, 225))},
        // Phrase 509 has 255 bytes; every later item names it and its new phrase stays out of
        // the tree.
        Vector{"FortyThousandZeros", repeat(0, 40000),
               coded(same(0, 1) + numbers(256, 509) + same(509, 28) + same(0, 220))}),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    AbandonTest, Vrax5Vectors,
    ::testing::Values(Vector{"OutputReachesInputLength", no_pairs_510, coded(roots(no_pairs_510))},
                      Vector{"OutputPassesInputLength", no_pairs_511, stored(no_pairs_511)}),
    RowName());

// Phrases left out of the tree still take their numbers: after the 255-byte run phrase, a new
// byte value is coded with the numbering continuing where the left-out phrases were counted.
TEST(Vrax5Compress, LeftOutPhrasesKeepTheirNumbers) {
    // 32,640 zeros are items of 1 to 255 bytes naming 0, 256..509; the last of them numbers 510
    // and leaves it out. 255 more zeros name 509 again and leave out 511. Then the first 01
    // numbers 512 ("01 01"), which the next two items name. 256 zero bytes form the tail.
    Bytes input = concat(concat(repeat(0, 32640 + 255), hex("01 01 01 01 01")), repeat(0, 256));
    CodecSession codec(vrax5_codec_call);
    Bytes block = codec.compress(input);
    EXPECT_EQ(block, coded(same(0, 1) + numbers(256, 509) + same(509, 1) +
                           std::vector<std::uint32_t>{1, 512, 512} + same(0, 256)));
    EXPECT_EQ(codec.decompress(block, std::uint32_t(input.size())), input);
}

TEST(Vrax5Compress, BlocksDoNotDependOnEarlierCalls) {
    const Bytes first = generate(Shape::text, 20000, 1);
    const Bytes second = generate(Shape::text, 20000, 2);
    CodecSession used(vrax5_codec_call);
    used.compress(first);
    CodecSession fresh(vrax5_codec_call);
    EXPECT_EQ(used.compress(second), fresh.compress(second));
}

TEST(Vrax5Compress, DestinationCapacity) {
    const Bytes input = repeat(0, 300);  // coded in 532 bytes, more than the input
    CodecSession codec(vrax5_codec_call);
    EXPECT_EQ(codec.compress(input, vrax5::BOUND_EXTRA).size(), 532u);
    EXPECT_EQ(codec.status(), CodecStatus::ok);
    EXPECT_TRUE(codec.compress(input, vrax5::BOUND_EXTRA - 1).empty());
    EXPECT_EQ(codec.status(), CodecStatus::failed);
}

// More than 65,280 phrases need a block far larger than the program's; the codec reports it.
TEST(Vrax5Compress, RanOutOfNodes) {
    Bytes input;
    std::uint32_t seed = 12345;
    while (input.size() < 600000) {  // 16 letters: phrases of about 4 bytes, so coding pays
        seed = seed * 1103515245u + 12345u;
        input.push_back(std::uint8_t('a' + (seed >> 16) % 16));
    }
    Bytes out(input.size() + vrax5::BOUND_EXTRA);
    Bytes memory(vrax5::WORK_SIZE);
    CodecResult r{};
    EXPECT_EQ(vrax5_compress(memory.data(), input.data(), std::uint32_t(input.size()), out.data(),
                             std::uint32_t(out.size()), &r),
              CodecStatus::failed);
    EXPECT_STREQ(r.message, "Ran out of nodes.");
}

// --- Decoder ---

struct DecodeCase {
    const char* name;
    Bytes block;
    std::uint32_t capacity;
    CodecStatus status;
    Bytes output;             // when ok
    const char* message;      // when failed
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class Vrax5Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Vrax5Decode, GivesOutputOrRefuses) {
    const DecodeCase& c = GetParam();
    // Decoded twice: with fresh working memory, and with tables that still hold the phrases of
    // an earlier block, which must not count as defined.
    CodecSession codec(vrax5_codec_call);
    Bytes earlier = codec.compress(repeat('z', 5000));
    codec.decompress(earlier, 5000);

    CodecResult r{};
    Bytes out(c.capacity);
    Bytes memory(vrax5::WORK_SIZE);
    const CodecStatus status = vrax5_codec_call(ACTION_DECOMPRESS, memory.data(), c.block.data(),
                                                std::uint32_t(c.block.size()), out.data(),
                                                c.capacity, &r);
    EXPECT_EQ(status, c.status);
    if (c.status == CodecStatus::ok) {
        out.resize(r.length);
        EXPECT_EQ(out, c.output);
    } else if (c.status == CodecStatus::failed) {
        EXPECT_STREQ(r.message, c.message);
    }

    Bytes reused = codec.decompress(c.block, c.capacity);
    EXPECT_EQ(codec.status(), c.status);
    if (c.status == CodecStatus::ok) {
        EXPECT_EQ(reused, c.output);
    }
}

const char* const odd_length = "vrax5_decompress: Input block is of odd length.";

INSTANTIATE_TEST_SUITE_P(
    Blocks, Vrax5Decode,
    ::testing::Values(
        DecodeCase{"EmptyBody", hex("00 00 00 00"), 0, CodecStatus::ok, {}, nullptr},
        DecodeCase{"AnyFlagButOneIsCoded", hex("02 FF FF FF 00 41"), 1, CodecStatus::ok, hex("41"),
                   nullptr},
        DecodeCase{"StoredOddLength", hex("01 00 00 00 41 42 43"), 3, CodecStatus::ok,
                   hex("41 42 43"), nullptr},
        // Item 1 names phrase 256, defined by item 0 and ending with the byte being written.
        DecodeCase{"NamesPhraseJustDefined", hex("00 00 00 00 00 61 01 00 01 01"), 6,
                   CodecStatus::ok, repeat(0x61, 6), nullptr},
        DecodeCase{"ExactCapacity", coded(same(0, 1) + numbers(256, 263)), 45, CodecStatus::ok,
                   repeat(0, 45), nullptr},
        DecodeCase{"OneByteShort", coded(same(0, 1) + numbers(256, 263)), 44,
                   CodecStatus::too_long, {}, nullptr},
        DecodeCase{"RootPastCapacity", hex("00 00 00 00 00 61 00 62"), 1, CodecStatus::too_long,
                   {}, nullptr},
        DecodeCase{"OddLength", hex("00 00 00 00 00"), 16, CodecStatus::failed, {}, odd_length},
        DecodeCase{"TruncatedItem", hex("00 00 00 00 00 61 01"), 16, CodecStatus::failed, {},
                   odd_length},
        DecodeCase{"ShorterThanHeader", hex("00 00 00"), 16, CodecStatus::malformed, {}, nullptr},
        DecodeCase{"FirstItemNamesPhrase", hex("00 00 00 00 01 00"), 16, CodecStatus::malformed,
                   {}, nullptr},
        DecodeCase{"NamesItsOwnPhrase", hex("00 00 00 00 00 61 01 01"), 16,
                   CodecStatus::malformed, {}, nullptr},
        DecodeCase{"NamesLastNumber", hex("00 00 00 00 00 61 FF FF"), 16, CodecStatus::malformed,
                   {}, nullptr}),
    RowName());

// 65,280 items number 256..65535; the next item numbers 256 again and may name any number, even
// 256, the one it is about to redefine (its phrase from before the wrap, "aa"). The item after
// it names the new phrase 256: that item's 2 bytes plus the next "a".
TEST(Vrax5Decompress, NumbersWrapAndThenAllAreDefined) {
    const std::vector<std::uint32_t> first_round = same(0x61, 65280);
    CodecSession codec(vrax5_codec_call);
    for (std::uint32_t x : {256u, 65535u, 1000u}) {
        Bytes out = codec.decompress(coded(first_round + std::vector<std::uint32_t>{x, 256}), 70000);
        ASSERT_EQ(codec.status(), CodecStatus::ok) << x;
        EXPECT_EQ(out, repeat(0x61, 65280 + 2 + 3)) << x;
    }
}

// The compressor never names a phrase it left out, but a block may: naming the 256-byte phrase
// 510 copies 256 bytes, and the phrase that item defines keeps its length in 8 bits (0), so
// naming it copies one byte.
TEST(Vrax5Decompress, LeftOutPhraseLengthsKeepEightBits) {
    const Bytes block = coded(same(0, 1) + numbers(256, 510) + same(511, 1));
    CodecSession codec(vrax5_codec_call);
    const std::uint32_t expected = 32640 + 256 + 1;
    EXPECT_EQ(codec.decompress(block, expected), repeat(0, expected));
    EXPECT_EQ(codec.status(), CodecStatus::ok);
    codec.decompress(block, expected - 1);
    EXPECT_EQ(codec.status(), CodecStatus::too_long);
}

TEST(Vrax5Decompress, RefusesItemsAtOddAddress) {
    // Length is tested first: an odd-length block at an odd address reports its length.
    Bytes buffer = hex("FF 00 00 00 00 00 41 42");
    Bytes memory(vrax5::WORK_SIZE);
    Bytes out(16);
    const std::uint8_t* even = buffer.data();  // vectors allocate with at least 8-byte alignment
    CodecResult r{};
    EXPECT_EQ(vrax5_codec_call(ACTION_DECOMPRESS, memory.data(), even + 1, 6, out.data(), 16, &r),
              CodecStatus::failed);
    EXPECT_STREQ(r.message, "vrax5_decompress: Input block is odd aligned.");
    EXPECT_EQ(vrax5_codec_call(ACTION_DECOMPRESS, memory.data(), even + 1, 7, out.data(), 16, &r),
              CodecStatus::failed);
    EXPECT_STREQ(r.message, odd_length);
    // A stored block is copied from any address.
    buffer[1] = BLOCK_STORED;
    EXPECT_EQ(vrax5_codec_call(ACTION_DECOMPRESS, memory.data(), even + 1, 7, out.data(), 16, &r),
              CodecStatus::ok);
    EXPECT_EQ(r.length, 3u);
}

TEST(Vrax5Decompress, TruncatedBodyGivesPrefix) {
    const Bytes input = generate(Shape::text, 5000, 3);
    CodecSession codec(vrax5_codec_call);
    Bytes block = codec.compress(input);
    ASSERT_EQ(block[0], BLOCK_CODED);
    block.resize(block.size() - 2);
    Bytes out = codec.decompress(block, 5000);
    ASSERT_EQ(codec.status(), CodecStatus::ok);
    EXPECT_EQ(out, Bytes(input.begin(), input.begin() + std::ptrdiff_t(out.size())));
    EXPECT_EQ(out.size(), 5000u - 1);  // the last tail item held one byte
}

// --- Round trips ---

TEST(Vrax5RoundTrip, GeneratedInputs) {
    CodecSession codec(vrax5_codec_call);
    for (Shape shape : {Shape::random, Shape::runs, Shape::text, Shape::binary_mix}) {
        for (std::size_t n : {2u, 255u, 256u, 257u, 258u, 513u, 1000u, 4097u, 65536u}) {
            for (std::uint32_t seed : {1u, 2u}) {
                const Bytes input = generate(shape, n, seed);
                const Bytes block = codec.compress(input);
                ASSERT_LE(block.size(), n + vrax5::BOUND_EXTRA);
                // Exactly the needed capacity: any wide copy near the end must fall back.
                EXPECT_EQ(codec.decompress(block, std::uint32_t(n)), input)
                    << shape_name(shape) << " n=" << n << " seed=" << seed;
            }
        }
    }
}

// Bytes drawn from the first `letters` values, so that most 3-byte strings recur: the
// compressor's table of 3-byte phrases fills and its slots are contended.
Bytes small_alphabet(std::size_t n, std::uint32_t letters, std::uint32_t seed) {
    Bytes out(n);
    std::uint32_t state = seed;
    for (auto& b : out) {
        state = state * 1664525u + 1013904223u;
        b = std::uint8_t((state >> 16) % letters);
    }
    return out;
}

// Big-endian counters of `width` bytes: each phrase's siblings arrive in increasing order.
Bytes counters(std::size_t n, std::uint32_t width) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = std::uint8_t((i / width) >> (8 * (width - 1 - i % width)));
    return out;
}

// Runs of zeros, 200 to 599 long, each ended by a byte below 8: phrases reach 255 bytes, and
// whether a new phrase joins the tree depends on its 255-byte neighbours.
Bytes zero_runs(std::size_t n, std::uint32_t seed) {
    Bytes out;
    std::uint32_t state = seed;
    while (out.size() < n) {
        state = state * 1664525u + 1013904223u;
        out.insert(out.end(), 200 + (state >> 8) % 400, 0);
        out.push_back(std::uint8_t(state >> 28 & 7));
    }
    out.resize(n);
    return out;
}

// The codec against the plain model, in both table layouts (blocks up to 64 KiB and larger).
TEST(Vrax5Compress, EqualsPlainModel) {
    CodecSession codec(vrax5_codec_call);
    std::vector<std::pair<std::string, Bytes>> inputs;
    for (std::size_t n : {257u, 1000u, 65536u, 90000u}) {
        const std::string size = " n=" + std::to_string(n);
        for (Shape shape : {Shape::random, Shape::runs, Shape::text, Shape::binary_mix})
            inputs.push_back({shape_name(shape) + size, generate(shape, n, 3)});
        inputs.push_back({"4 letters" + size, small_alphabet(n, 4, 3)});
        inputs.push_back({"30 letters" + size, small_alphabet(n, 30, 3)});
        inputs.push_back({"16-bit counters" + size, counters(n, 2)});
        inputs.push_back({"24-bit counters" + size, counters(n, 3)});
        inputs.push_back({"zero runs" + size, zero_runs(n, 3)});
    }
    for (const auto& [name, input] : inputs) {
        const Bytes expected = model_vrax5_compress(input);
        if (expected.empty()) continue;  // the model ran out of phrase numbers
        EXPECT_EQ(codec.compress(input), expected) << name;
    }
}

// A block of the program's size and a larger one keep their phrases in different forms (a trie,
// a tree); until the smaller one's literal tail, both code the same bytes into the same items.
TEST(Vrax5Compress, LargerBlocksBeginWithTheSameItems) {
    struct Input {
        std::string name;
        Bytes bytes;
    };
    std::vector<Input> inputs;
    for (std::uint32_t seed : {1u, 2u}) {
        const std::string at = " seed=" + std::to_string(seed);
        inputs.push_back({"runs" + at, generate(Shape::runs, 100000, seed)});
        inputs.push_back({"text" + at, generate(Shape::text, 100000, seed)});
        inputs.push_back({"12 letters" + at, small_alphabet(100000, 12, seed)});
        inputs.push_back({"30 letters" + at, small_alphabet(100000, 30, seed)});
    }
    CodecSession codec(vrax5_codec_call);
    for (const auto& [name, input] : inputs) {
        const Bytes small = codec.compress(Bytes(input.begin(), input.begin() + 65536));
        const Bytes large = codec.compress(input);
        ASSERT_EQ(small.at(0), BLOCK_CODED) << name;
        ASSERT_EQ(large.at(0), BLOCK_CODED) << name;
        // Every item but the last 256 of the smaller block belongs to its phrase part.
        const std::size_t same = small.size() - vrax5::ITEM_SIZE * vrax5::TAIL_LENGTH;
        ASSERT_GT(large.size(), same);
        EXPECT_TRUE(std::equal(small.begin(), small.begin() + std::ptrdiff_t(same), large.begin()))
            << name;
    }
}

// --- The program ---

RunResult run_vrax5(const std::vector<std::string>& operands) { return run_program("vrax5", operands); }

TEST(Vrax5Program, OddLengthBlockIsReported) {
    ScratchDir dir;
    const auto in = dir / "in.vrax5";
    const auto out = dir / "out";
    write_file(in, hex("00 00 00 05  00 00 00 00 41"));
    RunResult r = run_vrax5({"d", in.string(), out.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vrax5_decompress: Input block is of odd length.\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(out));
}

TEST(Vrax5Program, RoundTripOverSeveralBlocks) {
    ScratchDir dir;
    const Bytes data = concat(generate(Shape::binary_mix, 140000, 4), repeat(0, 300));
    write_file(dir / "data", data);
    RunResult c = run_vrax5({"c", (dir / "data").string(), (dir / "packed").string()});
    ASSERT_EQ(c.status, 0) << c.err;
    RunResult d = run_vrax5({"d", (dir / "packed").string(), (dir / "back").string()});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(read_file(dir / "back"), data);
}

}  // namespace
}  // namespace vrax::test
