// VRAX1: exact blocks for the cases that pin the format, its incompatibility with VRAX1-A,
// refused blocks, decoding of every copy length and offset, round trips, and the vrax1 program.
#include <gtest/gtest.h>

#include <random>

#include "program_runner.h"
#include "test_util.h"
#include "vrax1.h"
#include "vrax1a.h"

namespace vrax::test {
namespace {

constexpr std::uint32_t PROGRAM_BLOCK = 1u << 20;

// The two routines as the driver calls them: no working memory, buffers of exact size.
struct Coded {
    CodecStatus status;
    Bytes bytes;
};

Coded compress(const Bytes& in, std::uint32_t capacity) {
    Bytes out(capacity);
    CodecResult r{};
    CodecStatus status = vrax1_compress(nullptr, in.data(), std::uint32_t(in.size()), out.data(),
                                        capacity, &r);
    out.resize(status == CodecStatus::ok ? r.length : 0);
    return {status, out};
}

Bytes compress(const Bytes& in) {
    Coded c = compress(in, std::uint32_t(in.size()) + 32);
    EXPECT_EQ(c.status, CodecStatus::ok);
    return c.bytes;
}

Coded decompress(CodecRoutine* routine, const Bytes& block, std::uint32_t capacity) {
    Bytes out(capacity);
    CodecResult r{};
    CodecStatus status = routine(nullptr, block.data(), std::uint32_t(block.size()), out.data(),
                                 capacity, &r);
    out.resize(status == CodecStatus::ok ? r.length : 0);
    return {status, out};
}

Coded decompress(const Bytes& block, std::uint32_t capacity) {
    return decompress(vrax1_decompress, block, capacity);
}

// --- Exact blocks ---

using Vector = BlockVector;

class Vrax1Vectors : public ::testing::TestWithParam<Vector> {};

TEST_P(Vrax1Vectors, CompressesToExactBlockAndBack) {
    const Vector& v = GetParam();
    EXPECT_EQ(compress(v.input), v.block);
    Coded back = decompress(v.block, std::uint32_t(v.input.size()));
    EXPECT_EQ(back.status, CodecStatus::ok);
    EXPECT_EQ(back.bytes, v.input);
}

const Bytes ALPHABET16 = ascii("abcdefghijklmnop");

INSTANTIATE_TEST_SUITE_P(
    Blocks, Vrax1Vectors,
    ::testing::Values(
        Vector{"Empty", {}, hex("01 00 00 00")},
        Vector{"FiveBytesStored", ascii("hello"), hex("01 00 00 00 68 65 6C 6C 6F")},
        // Only position 0 may start a copy, and nothing lies before it.
        Vector{"SixteenAsStored", repeat('a', 16), stored(repeat('a', 16))},
        Vector{"SeventeenAs", repeat('a', 17), hex("00 00 00 00 02 00 61 0F 01")},
        Vector{"EighteenAs", repeat('a', 18), hex("00 00 00 00 02 00 61 0F 01 61")},
        // The second copy starts 16 bytes after the first and takes offset 16; 7 bytes remain.
        Vector{"FortyAs", repeat('a', 40),
               concat(hex("00 00 00 00 06 00 61 0F 01 0F 10"), repeat('a', 7))},
        Vector{"AbcThirteenTimes", times(ascii("abc"), 13),
               hex("00 00 00 00 18 00 61 62 63 0F 03 0F 12 63 61 62 63")},
        // Sixteen items fill the first word exactly: no further control word follows.
        Vector{"ItemsFillOneWord", concat(repeat('a', 17), ascii("bcdefghijklmno")),
               concat(hex("00 00 00 00 02 00 61 0F 01"), ascii("bcdefghijklmno"))},
        // A last word that describes one literal, or one copy, has zeros above its item bit.
        Vector{"LastWordOneLiteral", concat(repeat('a', 17), ascii("bcdefghijklmnop")),
               concat(concat(hex("00 00 00 00 02 00 61 0F 01"), ascii("bcdefghijklmno")),
                      hex("00 00 70"))},
        Vector{"LastWordOneCopy", times(ALPHABET16, 2),
               concat(concat(hex("00 00 00 00 00 00"), ALPHABET16), hex("01 00 0F 10"))}),
    RowName());

TEST(Vrax1Blocks, IncompressibleInputIsStored) {
    // Coding passes n after a whole 16-item group, or after a single item near the end.
    for (std::size_t n : {6u, 255u, 256u, 257u, 1000u}) {
        Bytes in = generate(Shape::random, n, std::uint32_t(n));
        EXPECT_EQ(compress(in), stored(in)) << "n = " << n;
    }
}

// --- VRAX1 and VRAX1-A blocks look alike but copy different lengths ---

TEST(Vrax1Blocks, NotInterchangeableWithVrax1a) {
    // A VRAX1 copy of 16 bytes reads as 18 bytes to VRAX1-A, and a VRAX1-A copy of 18 as 16 here.
    const Bytes vrax1_block = hex("00 00 00 00 02 00 61 0F 01");
    const Bytes vrax1a_block = hex("00 00 00 00 FE FF 61 0F 01");
    EXPECT_EQ(compress(repeat('a', 17)), vrax1_block);

    Coded as_1a = decompress(vrax1a_decompress, vrax1_block, 64);
    EXPECT_EQ(as_1a.status, CodecStatus::ok);
    EXPECT_EQ(as_1a.bytes, repeat('a', 19));

    Coded as_1 = decompress(vrax1a_block, 64);
    EXPECT_EQ(as_1.status, CodecStatus::ok);
    EXPECT_EQ(as_1.bytes, repeat('a', 17));
}

TEST(Vrax1Blocks, ShorterCopiesAndLongerTailThanVrax1a) {
    // After the three literals VRAX1-A covers the rest with two copies of 18 bytes; VRAX1 copies
    // 16 twice and leaves 4 literals in its 15-byte tail.
    const Bytes in = times(ascii("abc"), 13);
    EXPECT_EQ(compress(in).size(), 17u);
    EXPECT_EQ(CodecSession(vrax1a_codec_call).compress(in).size(), 13u);
}

// --- Blocks the compressor does not write but the decoder accepts ---

struct DecodeCase {
    const char* name;
    Bytes block;
    Bytes output;
};

class Vrax1Decodes : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Vrax1Decodes, DecodesToExactBytes) {
    const DecodeCase& c = GetParam();
    for (std::uint32_t capacity : {std::uint32_t(c.output.size()), 4096u}) {
        Coded d = decompress(c.block, capacity);
        EXPECT_EQ(d.status, CodecStatus::ok) << "capacity " << capacity;
        EXPECT_EQ(d.bytes, c.output) << "capacity " << capacity;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, Vrax1Decodes,
    ::testing::Values(
        DecodeCase{"HeaderOnly", hex("00 00 00 00"), {}},
        DecodeCase{"AnyFlagButOneIsCoded", hex("02 FF FF FF 00 00 61"), ascii("a")},
        DecodeCase{"StoredOfAnyLength", hex("01 00 00 00 78"), ascii("x")},
        // Length codes 0 and 1 copy 1 and 2 bytes.
        DecodeCase{"CopiesOfOneAndTwoBytes", hex("00 00 00 00 0C 00 61 62 00 01 01 02"),
                   ascii("abbbb")},
        DecodeCase{"CopyRepeatsBytesJustWritten", hex("00 00 00 00 04 00 61 62 0E 02"),
                   ascii("ababababababababa")}),
    RowName());

// --- Refused blocks ---

// `head` followed by `groups` words of 16 literals each, long enough for the fast loop.
Bytes with_literal_groups(Bytes head, int groups) {
    for (int g = 0; g < groups; ++g) head = concat(concat(head, hex("00 00")), repeat('z', 16));
    return head;
}

// A literal a, then a copy item (c0, c1) and 14 literals; then three groups of literals.
Bytes fast_loop_block(const char* copy_item) {
    return with_literal_groups(
        concat(concat(hex("00 00 00 00 02 00 61"), hex(copy_item)), repeat('z', 14)), 3);
}

using Malformed = MalformedBlock;

class Vrax1Malformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(Vrax1Malformed, IsRefused) {
    const Malformed& m = GetParam();
    EXPECT_TRUE(refused(decompress(m.block, m.capacity).status));
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, Vrax1Malformed,
    ::testing::Values(
        Malformed{"ShorterThanHeader", hex("00 00"), 64},
        Malformed{"OffsetZero", hex("00 00 00 00 02 00 61 00 00"), 64},
        Malformed{"OffsetBeforeStart", hex("00 00 00 00 02 00 61 00 02"), 64},
        Malformed{"MaxOffsetBeforeStart", hex("00 00 00 00 02 00 61 FF FF"), 64},
        // The same faults inside a group that the fast loop decodes.
        Malformed{"FastOffsetZero", fast_loop_block("00 00"), 4096},
        Malformed{"FastOffsetBeforeStart", fast_loop_block("F0 02"), 4096},
        // A first copy proves offsets up to 1 good; the second reaches one byte before the start.
        Malformed{"FastOffsetBeforeStartAfterACopy",
                  with_literal_groups(
                      concat(hex("00 00 00 00 0A 00 61 00 01 62 00 04"), repeat('z', 12)), 3),
                  4096},
        // The same with a far copy: 31 bytes out, the next group's copy reaches back 32.
        Malformed{"FastFarOffsetBeforeStartAfterACopy",
                  with_literal_groups(
                      concat(concat(hex("00 00 00 00 02 00 61 0F 01"), repeat('z', 14)),
                             concat(hex("01 00 02 20"), repeat('z', 15))),
                      3),
                  4096},
        Malformed{"CopyItemCut", hex("00 00 00 00 02 00 61 0F"), 64},
        Malformed{"ControlWordCut", hex("00 00 00 00 00"), 64},
        Malformed{"ControlWordWithoutItems", hex("00 00 00 00 00 00"), 64},
        Malformed{"TrailingControlWord",
                  concat(with_literal_groups(hex("00 00 00 00"), 1), hex("00 00")), 64},
        Malformed{"CopyPastCapacity", hex("00 00 00 00 02 00 61 0F 01"), 16},
        Malformed{"LiteralPastCapacity", hex("00 00 00 00 02 00 61 0F 01 61"), 17},
        Malformed{"StoredPastCapacity", hex("01 00 00 00 68 65 6C 6C 6F"), 4}),
    RowName());

TEST(Vrax1Blocks, CompressRefusesSmallDestination) {
    const Bytes in = repeat('a', 40);
    Bytes out(in.size() + 31, 0xAA);
    CodecResult r{};
    EXPECT_EQ(vrax1_compress(nullptr, in.data(), std::uint32_t(in.size()), out.data(),
                             std::uint32_t(out.size()), &r),
              CodecStatus::failed);
    EXPECT_NE(r.message, nullptr);
    EXPECT_EQ(out, Bytes(in.size() + 31, 0xAA));
}

// --- Every copy length and offset: fast loop, tail loop and the byte-by-byte rule agree ---

// Random valid items with the output they stand for, built one byte at a time.
struct ItemStream {
    Bytes block;
    Bytes output;
};

ItemStream random_items(std::uint32_t seed, std::size_t items) {
    std::mt19937 rng(seed);
    ItemStream s{hex("00 00 00 00"), {}};
    std::size_t word_at = 0;
    for (std::size_t k = 0; k < items; ++k) {
        if (k % 16 == 0) {
            word_at = s.block.size();
            s.block.insert(s.block.end(), 2, 0);
        }
        if (s.output.empty() || rng() % 3 == 0) {
            std::uint8_t b = std::uint8_t(rng());
            s.block.push_back(b);
            s.output.push_back(b);
            continue;
        }
        s.block[word_at + (k % 16) / 8] |= std::uint8_t(1u << (k % 8));
        std::uint32_t code = rng() % 16;
        std::size_t reach = std::min<std::size_t>(s.output.size(), 4095);
        // Half of the offsets are short, where copies overlap the bytes they write.
        if (rng() % 2) reach = std::min<std::size_t>(reach, 20);
        std::size_t offset = 1 + rng() % reach;
        s.block.push_back(std::uint8_t((offset >> 8) << 4 | code));
        s.block.push_back(std::uint8_t(offset));
        for (std::uint32_t n = 0; n < code + 1; ++n)
            s.output.push_back(s.output[s.output.size() - offset]);
    }
    return s;
}

TEST(Vrax1Decoder, EveryLengthAndOffsetMatchesByteRule) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        for (std::size_t items : {1u, 15u, 16u, 17u, 200u, 3000u}) {
            ItemStream s = random_items(seed, items);
            const auto n = std::uint32_t(s.output.size());
            // Exact capacity ends in the tail loop; extra capacity keeps the fast loop longer.
            for (std::uint32_t capacity : {n, n + 300, n + 4096}) {
                Coded d = decompress(s.block, capacity);
                ASSERT_EQ(d.status, CodecStatus::ok) << "seed " << seed << " items " << items;
                ASSERT_EQ(d.bytes, s.output) << "seed " << seed << " items " << items;
            }
            EXPECT_EQ(decompress(s.block, n - 1).status, CodecStatus::too_long);
        }
    }
}

TEST(Vrax1Decoder, ArbitraryBlocksStayInsideTheirBuffers) {
    // Buffers of exact size, so that the sanitizers see any stray read or write.
    std::mt19937 rng(12345);
    for (int round = 0; round < 2000; ++round) {
        Bytes block = generate(Shape::random, 4 + rng() % 300, rng());
        block[0] = BLOCK_CODED;
        const std::uint32_t capacity = rng() % 700;
        Coded d = decompress(block, capacity);
        EXPECT_TRUE(d.status == CodecStatus::ok || refused(d.status));
        EXPECT_LE(d.bytes.size(), capacity);
    }
}

// --- Round trips ---

TEST(Vrax1RoundTrip, GeneratedInputs) {
    const std::size_t sizes[] = {0, 1, 5, 6, 15, 16, 17, 18, 31, 32, 255, 256, 257, 272,
                                 4095, 4096, 4097, 70000};
    for (Shape shape : {Shape::random, Shape::runs, Shape::text, Shape::binary_mix}) {
        for (std::size_t n : sizes) {
            for (std::uint32_t seed : {1u, 2u}) {
                SCOPED_TRACE(std::string(shape_name(shape)) + " n=" + std::to_string(n) +
                             " seed=" + std::to_string(seed));
                Bytes in = generate(shape, n, seed);
                Bytes block = compress(in);
                ASSERT_GE(block.size(), 4u);
                EXPECT_LE(block.size(), n + 4);
                if (block[0] == BLOCK_CODED) {
                    EXPECT_LE(block.size(), n);
                }
                Coded back = decompress(block, std::uint32_t(n));
                EXPECT_EQ(back.status, CodecStatus::ok);
                EXPECT_EQ(back.bytes, in);
                EXPECT_EQ(compress(in), block);  // no state carried from call to call
            }
        }
    }
}

TEST(Vrax1RoundTrip, TableStartsEmptyInEveryCall) {
    // `first` leaves position 15 (the string aab) in its table. In `second`, position 15 holds aab
    // too but lies inside a copy, so this call never enters it; the aab at position 32 must find
    // an empty slot and stay a literal.
    compress(ascii("0123456789ABCDEaabFGHIJKLMNOPQRSTUVWXYZ"));
    const Bytes second = concat(concat(repeat('a', 17), ascii("bcdefghijklmnop")),
                                ascii("aabqrstuvwxyzQRSTUV"));
    EXPECT_EQ(compress(second), concat(concat(hex("00 00 00 00 02 00 61 0F 01"),
                                              ascii("bcdefghijklmno")),
                                       concat(concat(hex("00 00"), ascii("paabqrstuvwxyzQR")),
                                              concat(hex("00 00"), ascii("STUV")))));
}

// --- The vrax1 program ---

struct Record {
    std::uint32_t length;
    Bytes block;
};

std::vector<Record> records(const Bytes& stream) {
    std::vector<Record> out;
    std::size_t i = 0;
    while (i + 4 <= stream.size()) {
        std::uint32_t L = std::uint32_t(stream[i]) << 24 | std::uint32_t(stream[i + 1]) << 16 |
                          std::uint32_t(stream[i + 2]) << 8 | stream[i + 3];
        i += 4;
        out.push_back({L, Bytes(stream.begin() + std::ptrdiff_t(i),
                                stream.begin() + std::ptrdiff_t(std::min(i + L, stream.size())))});
        i += L;
    }
    EXPECT_EQ(i, stream.size());
    return out;
}

void expect_round_trip(const ScratchDir& dir, const Bytes& input, std::size_t expected_records) {
    write_file(dir / "in", input);
    RunResult c = run_program("vrax1", {"c", dir / "in", dir / "z"});
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(c.out + c.err, "");
    std::vector<Record> recs = records(read_file(dir / "z"));
    EXPECT_EQ(recs.size(), expected_records);
    for (const Record& r : recs) EXPECT_LE(r.length, PROGRAM_BLOCK + 4);
    RunResult d = run_program("vrax1", {"d", dir / "z", dir / "back"});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(d.out + d.err, "");
    EXPECT_EQ(read_file(dir / "back"), input);
}

TEST(Vrax1Program, RoundTripsSeveralBlocks) {
    ScratchDir dir;
    expect_round_trip(dir, generate(Shape::text, 3 * PROGRAM_BLOCK + 100, 7), 4);
    expect_round_trip(dir, generate(Shape::binary_mix, 2 * PROGRAM_BLOCK, 8), 2);
    // Incompressible blocks are stored at their full BLOCK_SIZE + 4 bytes.
    expect_round_trip(dir, generate(Shape::random, PROGRAM_BLOCK + 17, 9), 2);
    expect_round_trip(dir, {}, 0);
}

TEST(Vrax1Program, ExactStreams) {
    ScratchDir dir;
    write_file(dir / "hello", ascii("hello"));
    ASSERT_EQ(run_program("vrax1", {"c", dir / "hello", dir / "hello.z"}).status, 0);
    EXPECT_EQ(read_file(dir / "hello.z"), hex("00 00 00 09 01 00 00 00 68 65 6C 6C 6F"));

    // Two full blocks and one byte: the last record stores that byte.
    Bytes big = concat(generate(Shape::runs, 2 * PROGRAM_BLOCK, 3), ascii("!"));
    write_file(dir / "big", big);
    ASSERT_EQ(run_program("vrax1", {"compress", dir / "big", dir / "big.z"}).status, 0);
    Bytes stream = read_file(dir / "big.z");
    ASSERT_EQ(records(stream).size(), 3u);
    EXPECT_EQ(Bytes(stream.end() - 9, stream.end()), hex("00 00 00 05 01 00 00 00 21"));
    ASSERT_EQ(run_program("vrax1", {"dump", dir / "big.z", dir / "big.back"}).status, 0);
    EXPECT_EQ(read_file(dir / "big.back"), big);
}

TEST(Vrax1Program, UsageErrorsNameTheProgram) {
    ScratchDir dir;
    write_file(dir / "in", ascii("hello"));
    const std::string in = dir / "in";
    const std::string out = dir / "out";
    const std::string usage = "To compress:   " + program_path("vrax1") +
                              " c input output\nTo decompress: " + program_path("vrax1") +
                              " d input output\n";
    const std::vector<std::vector<std::string>> cases = {
        {}, {"c"}, {"c", in}, {"x", in, out}, {"C", in, out}, {"D", in, out}, {"", in, out}};
    for (const auto& operands : cases) {
        RunResult r = run_program("vrax1", operands);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, usage);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST(Vrax1Program, FilesThatCannotBeOpened) {
    ScratchDir dir;
    write_file(dir / "in", ascii("hello"));
    const std::string missing = dir / "missing";
    const std::string out = dir / "out";
    RunResult r = run_program("vrax1", {"c", missing, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, missing + ": No such file or directory\n");
    EXPECT_EQ(r.out, "");  // no working memory is ever requested, so never "Out of memory"
    EXPECT_FALSE(fs::exists(out));

    const std::string bad_out = dir / "no-such-dir" / "out";
    r = run_program("vrax1", {"d", dir / "in", bad_out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, bad_out + ": No such file or directory\n");
    EXPECT_EQ(r.out, "");
}

TEST(Vrax1Program, RefusesCorruptStreams) {
    ScratchDir dir;
    const std::vector<Bytes> streams = {
        hex("00 00 00 09 00 00 00 00 02 00 61 00 02"),  // copy from before the output
        hex("00 00 00 09 00 00 00 00 02 00 61"),        // block cut short
        hex("00 10 01 01 01 00 00 00"),                 // longer than the program's blocks
    };
    for (const Bytes& stream : streams) {
        write_file(dir / "z", stream);
        RunResult r = run_program("vrax1", {"d", dir / "z", dir / "out"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err, "");
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
}

}  // namespace
}  // namespace vrax::test
