// VRAX3-A: exact blocks for the cases that pin the format (ties between ways, the one cycle
// counter, deferred insertions, fill-string sources, the control word and overrun rules), and
// its three deliverables reading each other's files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "fill_string.h"
#include "program_runner.h"
#include "test_util.h"
#include "vrax3a.h"

namespace vrax::test {
namespace {

using Vector = BlockVector;


Bytes ascending_bytes() {
    Bytes out;
    for (int b = 0; b < 256; ++b) out.push_back(std::uint8_t(b));
    return out;
}

const Bytes FILL = ascii(FILL_STRING);

class Vrax3aVectors : public ::testing::TestWithParam<Vector> {};

TEST_P(Vrax3aVectors, CompressesToExactBlockAndBack) {
    const Vector& v = GetParam();
    CodecSession codec(vrax3a_codec_call);
    EXPECT_EQ(codec.compress(v.input), v.block);
    EXPECT_EQ(codec.decompress(v.block, std::uint32_t(v.input.size())), v.input);
    EXPECT_EQ(codec.status(), CodecStatus::ok);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, Vrax3aVectors,
    ::testing::Values(
        Vector{"Empty", {}, hex("01 00 00 00")},
        Vector{"SeventeenBytesStored", ascii("abcabcabcabcabcab"), stored(ascii("abcabcabcabcabcab"))},
        // Offset 0 meets only the fill string.
        Vector{"EighteenAsStored", repeat('a', 18), stored(repeat('a', 18))},
        // Offsets 1 and 2 miss: position 0 enters set 14 only while offset 2 is coded, after its
        // lookup. The copy names way 0, which the first insertion filled.
        Vector{"TwentyOneAs", repeat('a', 21), hex("00 00 00 00 F8 FF 61 61 61 0F 70")},
        Vector{"TwentyOneZeros", repeat(0, 21), hex("00 00 00 00 F8 FF 00 00 00 0F 00")},
        // Every copy finds 18 bytes in several ways and names the lowest; the copies' own
        // positions fill ways 3 to 7 and never displace way 0.
        Vector{"HundredAs", repeat('a', 100),
               concat(concat(hex("00 00 00 00 F8 80 61 61 61"), times(hex("0F 70"), 5)),
                      repeat('a', 7))},
        // The fill string is a source: set 240, way 0.
        Vector{"FillStringOnce", FILL, hex("00 00 00 00 FF FF 7F 80")},
        Vector{"FillStringThrice", times(FILL, 3), hex("00 00 00 00 FF FF 7F 80 7F 80 7F 80")},
        // One counter for all sets: position 0 goes to way 0 of set 241, position 1 to way 1 of
        // set 36. Position 0 enters only while offset 2 is coded, so the first copy (set 241,
        // way 0) comes at offset 4.
        Vector{"AbTwentyTimes", times(ascii("ab"), 20),
               hex("00 00 00 00 F0 FF 61 62 61 62 7F 88 7F 88")},
        // At offset 9 way 0 offers 3 bytes and way 5 offers 9: the longer wins (slot 1725).
        // The coded form is exactly as long as the input, and that is not stored.
        Vector{"LongerWayWins", ascii("abbbbabbaabbaabbaaaabababaaabb"),
               hex("00 00 00 00 A0 00 61 62 62 62 62 60 B8 61 66 BD 61 61 62 61 62 61 62 61 "
                   "F0 FF 61 61 62 62")},
        // The copy at offset 3 makes three insertions: pending position 1 (way 1 of set 289),
        // pending 2 (way 2 of set 36), then its own 3 (way 3 of set 215). The copy at offset 6
        // finds position 2 in slot 290 and takes 8 bytes from it.
        Vector{"CopyPositionInsertedLast", ascii("abbabbbabbbabbaaabbbbaab"),
               hex("00 00 00 00 18 80 61 62 62 60 B8 15 22 61 61 61 62 62 62 62 61 61 62")},
        // Sixteen items fill the first word exactly: no second word follows.
        Vector{"ControlWordFillsExactly", repeat('a', 237),
               concat(hex("00 00 00 00 F8 FF 61 61 61"), times(hex("0F 70"), 13))},
        Vector{"OneItemPastFullWord", repeat('a', 238),
               concat(concat(hex("00 00 00 00 F8 FF 61 61 61"), times(hex("0F 70"), 13)),
                      hex("FE FF 61"))},
        Vector{"SixteenthItemIsTail", repeat('a', 236),
               concat(concat(concat(hex("00 00 00 00 F8 7F 61 61 61"), times(hex("0F 70"), 12)),
                             hex("61 00 00")),
                      repeat('a', 16))},
        // 32 items make 45 bytes, but the third word reserved after them passes 46: stored.
        Vector{"ReservedWordOverruns", ascii("babaabbaabaabaaaabbabbbbbbaabbbaaaaaabababbaaa"),
               stored(ascii("babaabbaabaabaaaabbabbbbbbaabbbaaaaaabababbaaa"))},
        Vector{"IncompressibleStored", ascending_bytes(), stored(ascending_bytes())}),
    RowName());

TEST(Vrax3aIdentity, RecordValues) {
    CodecSession codec(vrax3a_codec_call);
    EXPECT_EQ(codec.identity().id, 0x01B90B91u);
    EXPECT_EQ(codec.identity().memory, 16400u);
    EXPECT_STREQ(codec.identity().name, "VRAX3-A");
    EXPECT_STREQ(codec.identity().version, "1.0");
    EXPECT_STREQ(codec.identity().date, "15-Jul-1990");
    EXPECT_EQ(codec.identity().notice, codec.identity().copyright);
}

// The three deliverables share one format: a 1 MiB program's file decodes with the larger ones.
TEST(Vrax3aPrograms, LargerBlockProgramsDecodeSmallerBlocks) {
    ScratchDir dir;
    const Bytes input = generate(Shape::binary_mix, 3 * (1u << 20) + 777, 31);
    write_file(dir / "in", input);
    ASSERT_EQ(run_program("vrax3a", {"c", dir / "in", dir / "in.v3a"}).status, 0);
    for (const char* program : {"vrax3a", "vrax3a-16m", "vrax3a-256m"}) {
        SCOPED_TRACE(program);
        ASSERT_EQ(run_program(program, {"d", dir / "in.v3a", dir / "out"}).status, 0);
        EXPECT_EQ(read_file(dir / "out"), input);
    }
}

// Sanitizers make a 256 MiB run take minutes. GCC announces them with macros, Clang through
// __has_feature.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool SANITIZED = true;
#elif defined(__has_feature)
constexpr bool SANITIZED = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||
                           __has_feature(memory_sanitizer);
#else
constexpr bool SANITIZED = false;
#endif

// A file of more than one 256 MiB block through vrax3a-256m. A repeated pattern keeps both the
// writing of the file and the coding quick.
TEST(Vrax3aPrograms, FileLargerThanOneBlockRoundTripsThrough256m) {
    if (SANITIZED) GTEST_SKIP() << "too slow under sanitizers";
    constexpr std::size_t size = (std::size_t(1) << 28) + 100'003;
    const Bytes unit = generate(Shape::text, 1 << 16, 7);
    ScratchDir dir;
    {
        std::FILE* f = std::fopen((dir / "in").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        for (std::size_t done = 0; done < size; done += unit.size())
            std::fwrite(unit.data(), 1, std::min(unit.size(), size - done), f);
        std::fclose(f);
    }
    ASSERT_EQ(run_program("vrax3a-256m", {"c", dir / "in", dir / "in.v3a"}).status, 0);
    ASSERT_EQ(run_program("vrax3a-256m", {"d", dir / "in.v3a", dir / "out"}).status, 0);
    std::FILE* f = std::fopen((dir / "out").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    Bytes chunk(unit.size());
    std::size_t checked = 0;
    while (std::size_t got = std::fread(chunk.data(), 1, chunk.size(), f)) {
        if (!std::equal(chunk.begin(), chunk.begin() + std::ptrdiff_t(got), unit.begin())) break;
        checked += got;
    }
    std::fclose(f);
    EXPECT_EQ(checked, size);
}

}  // namespace
}  // namespace vrax::test
