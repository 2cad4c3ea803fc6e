// VRAX3: exact blocks for the cases that pin the format (deferred insertions, the copy's own slot,
// fill-string sources, the control word and overrun rules), and its two deliverables reading
// each other's files.
#include <gtest/gtest.h>

#include "fill_string.h"
#include "program_runner.h"
#include "test_util.h"
#include "vrax3.h"

namespace vrax::test {
namespace {

using Vector = BlockVector;


const Bytes FILL = ascii(FILL_STRING);

class Vrax3Vectors : public ::testing::TestWithParam<Vector> {};

TEST_P(Vrax3Vectors, CompressesToExactBlockAndBack) {
    const Vector& v = GetParam();
    CodecSession codec(vrax3_codec_call);
    EXPECT_EQ(codec.compress(v.input), v.block);
    EXPECT_EQ(codec.decompress(v.block, std::uint32_t(v.input.size())), v.input);
    EXPECT_EQ(codec.status(), CodecStatus::ok);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, Vrax3Vectors,
    ::testing::Values(
        Vector{"Empty", {}, hex("01 00 00 00")},
        Vector{"FiveBytesStored", ascii("aaaaa"), stored(ascii("aaaaa"))},
        Vector{"SeventeenAsStored", repeat('a', 17), stored(repeat('a', 17))},
        Vector{"EighteenAsStored", repeat('a', 18), stored(repeat('a', 18))},
        // Position 0 enters slot 0x20E only while offset 2 is coded, after that offset's lookup.
        Vector{"TwentyOneAs", repeat('a', 21), hex("00 00 00 00 F8 FF 61 61 61 2F 0E")},
        Vector{"HundredAs", repeat('a', 100),
               concat(concat(hex("00 00 00 00 F8 80 61 61 61"), times(hex("2F 0E"), 5)),
                      repeat('a', 7))},
        // The untouched slot 0x4F0 still names the fill string.
        Vector{"FillStringOnce", FILL, hex("00 00 00 00 FF FF 4F F0")},
        Vector{"FillStringThrice", times(FILL, 3), hex("00 00 00 00 FF FF 4F F0 4F F0 4F F0")},
        Vector{"AbTwentyTimes", times(ascii("ab"), 20),
               hex("00 00 00 00 F0 FF 61 62 61 62 6F F1 6F F1")},
        // The copy at offset 3 inserts positions 1 and 2 (pending, same slot 0x20E) and then its
        // own position 3, last: so the copy at offset 10 reads from 3 and gets 7 bytes (from 2
        // it would get 6).
        Vector{"CopyEntersAfterPendingLiterals", ascii("aaaaaaaaabaaaaaabbaabaaaabab"),
               hex("00 00 00 00 28 00 61 61 61 23 0E 62 24 0E 62 61 61 62 61 61 61 61 62 61 "
                   "FE FF 62")},
        // Sixteen items fill the first word exactly: three literals, thirteen copies of 18.
        Vector{"ControlWordFillsExactly", repeat('a', 237),
               concat(hex("00 00 00 00 F8 FF 61 61 61"), times(hex("2F 0E"), 13))},
        Vector{"SixteenthItemIsTail", repeat('a', 236),
               concat(concat(concat(hex("00 00 00 00 F8 7F 61 61 61"), times(hex("2F 0E"), 12)),
                             hex("61 00 00")),
                      repeat('a', 16))}),
    RowName());

TEST(Vrax3Identity, RecordValues) {
    CodecSession codec(vrax3_codec_call);
    EXPECT_EQ(codec.identity().id, 0x032DDEA8u);
    EXPECT_EQ(codec.identity().memory, 16400u);
    EXPECT_STREQ(codec.identity().name, "VRAX3");
    EXPECT_STREQ(codec.identity().version, "1.0");
    EXPECT_STREQ(codec.identity().date, "31-Dec-1990");
    EXPECT_EQ(codec.identity().notice, codec.identity().copyright);
}

// Both deliverables share one format: the 64 KiB program's file decodes with the 1 MiB one.
TEST(Vrax3Programs, MegabyteProgramDecodesSixtyFourKilobyteBlocks) {
    ScratchDir dir;
    const Bytes input = generate(Shape::text, 5 * (1u << 16) + 1234, 5);
    write_file(dir / "in", input);
    ASSERT_EQ(run_program("vrax3-64k", {"c", dir / "in", dir / "in.v3"}).status, 0);
    for (const char* program : {"vrax3-64k", "vrax3"}) {
        SCOPED_TRACE(program);
        ASSERT_EQ(run_program(program, {"d", dir / "in.v3", dir / "out"}).status, 0);
        EXPECT_EQ(read_file(dir / "out"), input);
    }
}

// The other way round the smaller program must say why it cannot: a block of zeros codes to far
// less than 64 KiB, so the record fits its input buffer and only the decoded bytes do not.
TEST(Vrax3Programs, LargerBlockFileNamesTheBlockSizeNotCorruption) {
    ScratchDir dir;
    write_file(dir / "zeros", repeat(0, 100000));
    ASSERT_EQ(run_program("vrax3", {"c", dir / "zeros", dir / "zeros.v3"}).status, 0);
    const RunResult r = run_program("vrax3-64k", {"d", dir / "zeros.v3", dir / "out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("block 1 decodes to more bytes than this program's blocks can hold; the "
                         "file may come from a program with a larger block size"),
              std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace vrax::test
