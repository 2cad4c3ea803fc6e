// The stream file loops in memory: record layout, block boundaries, and every way a stream can be
// truncated or malformed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "driver_stream.h"
#include "memory_stream.h"
#include "test_util.h"
#include "program_table.h"

namespace vrax::test {
namespace {

// A driver set-up with small blocks, so that boundaries are cheap to reach.
class SmallBlockDriver {
public:
    explicit SmallBlockDriver(std::uint32_t block_size)
        : input_(block_size + BLOCK_SLACK), output_(block_size + BLOCK_SLACK), memory_(16387, 0),
          setup_{VRAX1A_CODEC, memory_.data(),
                 BlockBuffers{input_.data(), output_.data(), std::uint32_t(input_.size()),
                              block_size}} {}

    StreamOutcome compress(const Bytes& in, Bytes& out) {
        return run_in_memory(compress_stream, setup_, in, out);
    }
    StreamOutcome decompress(const Bytes& in, Bytes& out) {
        return run_in_memory(decompress_stream, setup_, in, out);
    }

private:
    Bytes input_, output_, memory_;
    StreamSetup setup_;
};

TEST(StreamFormat, RecordsFollowTheBlocks) {
    struct Case {
        const char* name;
        Bytes input;
        Bytes stream;
    };
    const Case cases[] = {
        {"Empty", {}, {}},
        {"Hello", ascii("hello"), hex("00 00 00 09 01 00 00 00 68 65 6C 6C 6F")},
        {"NineteenAs", repeat('a', 19), hex("00 00 00 09 00 00 00 00 FE FF 61 0F 01")},
    };
    for (const Case& c : cases) {
        SmallBlockDriver driver(64);
        Bytes stream;
        ASSERT_EQ(driver.compress(c.input, stream).error, StreamError::none) << c.name;
        EXPECT_EQ(stream, c.stream) << c.name;
        Bytes back;
        ASSERT_EQ(driver.decompress(stream, back).error, StreamError::none) << c.name;
        EXPECT_EQ(back, c.input) << c.name;
    }
}

// Two full blocks and one byte give three records; the last is the stored byte.
TEST(StreamFormat, BlockSizeBoundaries) {
    SmallBlockDriver driver(64);
    Bytes stream;
    ASSERT_EQ(driver.compress(generate(Shape::random, 129, 5), stream).error, StreamError::none);
    ASSERT_EQ(stream.size(), 3 * 4 + 2 * (64 + 4) + 5u);
    EXPECT_EQ(Bytes(stream.begin(), stream.begin() + 4), hex("00 00 00 44"));
    EXPECT_EQ(Bytes(stream.end() - 9, stream.end() - 1), hex("00 00 00 05 01 00 00 00"));
}

TEST(StreamFormat, ManyBlocksRoundTrip) {
    for (std::uint32_t n : {63u, 64u, 65u, 64u * 50 + 1}) {
        const Bytes input = generate(Shape::text, n, n);
        SmallBlockDriver driver(64);
        Bytes stream;
        Bytes back;
        ASSERT_EQ(driver.compress(input, stream).error, StreamError::none);
        ASSERT_EQ(driver.decompress(stream, back).error, StreamError::none);
        EXPECT_EQ(back, input) << n;
    }
}

TEST(StreamErrors, DamagedStreamsAreRefusedWithTheRightReason) {
    struct Case {
        const char* name;
        Bytes stream;
        StreamError error;
        std::uint64_t block;
    };
    const Bytes good = hex("00 00 00 09 00 00 00 00 FE FF 61 0F 01");
    const Case cases[] = {
        {"OneLengthByte", hex("00"), StreamError::truncated_length, 1},
        {"ThreeLengthBytes", hex("00 00 00"), StreamError::truncated_length, 1},
        {"SecondLengthCut", concat(good, hex("00 00")), StreamError::truncated_length, 2},
        {"BlockCut", hex("00 00 00 09 00 00 00 00 FE FF 61 0F"), StreamError::truncated_block, 1},
        {"LengthBelowHeader", hex("00 00 00 03 00 00 00"), StreamError::block_too_short, 1},
        {"LengthZero", hex("00 00 00 00"), StreamError::block_too_short, 1},
        {"LengthAboveBuffer", hex("00 00 04 41 01 00 00 00"), StreamError::block_too_long, 1},
        {"HugeLength", hex("FF FF FF FF 01"), StreamError::block_too_long, 1},
        {"CopyBeforeStart", hex("00 00 00 09 00 00 00 00 FE FF 61 0F 02"), StreamError::malformed_block, 1},
        {"GoodThenBad", concat(good, hex("00 00 00 06 00 00 00 00 FF FF")), StreamError::malformed_block, 2},
    };
    for (const Case& c : cases) {
        SmallBlockDriver driver(64);
        Bytes out;
        StreamOutcome outcome = driver.decompress(c.stream, out);
        EXPECT_EQ(outcome.error, c.error) << c.name;
        EXPECT_EQ(outcome.block, c.block) << c.name;
    }
}

// A block may decode to more than BLOCK_SIZE as long as it fits the output buffer; one byte more
// is refused.
TEST(StreamErrors, DecodedLengthIsBoundedByTheOutputBuffer) {
    SmallBlockDriver driver(64);
    const std::uint32_t capacity = 64 + BLOCK_SLACK;
    const Bytes fits = stored(repeat('x', capacity - 4));
    const Bytes record = concat(hex("00 00 04 40"), fits);
    Bytes out;
    EXPECT_EQ(driver.decompress(record, out).error, StreamError::none);
    EXPECT_EQ(out.size(), capacity - 4);
}

}  // namespace
}  // namespace vrax::test
