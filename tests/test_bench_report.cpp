// vraxbench's arithmetic: record headers in the compressed size, ratio, MB/s as 10^6 bytes per
// second, totals over files, the repetition rule and the CSV layout.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bench_report.h"

namespace vrax::bench {
namespace {

constexpr std::uint32_t MiB = 1u << 20;

TEST(BenchReport, BlockCountCoversEveryByte) {
    struct Case {
        std::uint64_t bytes;
        std::uint32_t block;
        std::uint64_t blocks;
    };
    for (const Case& c : {Case{0, MiB, 0}, Case{1, MiB, 1}, Case{MiB, MiB, 1},
                          Case{2ull * MiB + 1, MiB, 3}, Case{10'192'446, 65536, 156},
                          Case{5ull << 30, 256 * MiB, 20}})
        EXPECT_EQ(block_count(c.bytes, c.block), c.blocks) << c.bytes << " / " << c.block;
}

TEST(BenchReport, RatioIsPercentOfInputAndUndefinedForNothing) {
    EXPECT_DOUBLE_EQ(ratio_percent(13, 5), 260.0);  // "hello" stored behind two headers
    EXPECT_DOUBLE_EQ(ratio_percent(500, 1000), 50.0);
    EXPECT_DOUBLE_EQ(ratio_percent(0, 1000), 0.0);
    EXPECT_TRUE(std::isnan(ratio_percent(0, 0)));
}

TEST(BenchReport, SpeedIsDecimalMegabytesPerSecond) {
    EXPECT_DOUBLE_EQ(mb_per_s(1'000'000, 1.0), 1.0);
    EXPECT_DOUBLE_EQ(mb_per_s(MiB, 1.0), 1.048576);  // not MiB/s
    EXPECT_DOUBLE_EQ(mb_per_s(500'000'000, 0.25), 2000.0);
    EXPECT_TRUE(std::isnan(mb_per_s(0, 1.0)));
    EXPECT_TRUE(std::isnan(mb_per_s(1000, 0.0)));
}

TEST(BenchReport, TotalSpeedIsTotalBytesOverTotalTime) {
    // 100 MB at 100 MB/s and 1 MB at 1000 MB/s: 101 MB in 1.001 s, far from the mean of speeds.
    const std::vector<Measurement> files = {{100'000'000, 40'000'000, 1.0, 0.5},
                                            {1'000'000, 600'000, 0.001, 0.002}};
    const Measurement sum = total(files);
    EXPECT_EQ(sum.input_bytes, 101'000'000u);
    EXPECT_EQ(sum.compressed_bytes, 40'600'000u);
    EXPECT_NEAR(mb_per_s(sum.input_bytes, sum.compress_seconds), 101.0 / 1.001, 1e-9);
    EXPECT_NEAR(mb_per_s(sum.input_bytes, sum.decompress_seconds), 101.0 / 0.502, 1e-9);
    EXPECT_NEAR(ratio_percent(sum.compressed_bytes, sum.input_bytes), 40.19801980, 1e-6);
    EXPECT_EQ(total({}).input_bytes, 0u);
}

TEST(BenchReport, RepeatsAtLeastTwiceAndUntilTheMinimumTime) {
    EXPECT_TRUE(want_another_repetition(1, 10.0, 0.5));
    EXPECT_FALSE(want_another_repetition(2, 0.5, 0.5));
    EXPECT_TRUE(want_another_repetition(2, 0.49, 0.5));
    EXPECT_TRUE(want_another_repetition(40, 0.1, 0.5));
    EXPECT_FALSE(want_another_repetition(2, 0.0, 0.0));
}

TEST(BenchReport, BlockSizesInBinaryUnits) {
    EXPECT_EQ(block_size_text(65536), "64 KiB");
    EXPECT_EQ(block_size_text(MiB), "1 MiB");
    EXPECT_EQ(block_size_text(16 * MiB), "16 MiB");
    EXPECT_EQ(block_size_text(256 * MiB), "256 MiB");
    EXPECT_EQ(block_size_text(1536), "1536");
    EXPECT_EQ(block_size_text(1000), "1000");
}

TEST(BenchReport, CsvHasTheAgreedColumnsAndOneRowPerConfiguration) {
    EXPECT_EQ(csv_header(),
              "name,block_size,input_bytes,compressed_bytes,compress_mb_s,decompress_mb_s");
    EXPECT_EQ(csv_row("vrax1a", MiB, {10'000'000, 5'500'004, 0.04, 0.0125}),
              "vrax1a,1048576,10000000,5500004,250.00,800.00");
    // An empty corpus has no speed: empty fields, still six columns.
    EXPECT_EQ(csv_row("memcpy", MiB, {}), "memcpy,1048576,0,0,,");
}

TEST(BenchReport, FixedPrintsDashForMissingValues) {
    EXPECT_EQ(fixed(55.123, 2), "55.12");
    EXPECT_EQ(fixed(1234.56, 1), "1234.6");
    EXPECT_EQ(fixed(std::nan(""), 1), "-");
    EXPECT_EQ(fixed(INFINITY, 1, ""), "");
}

}  // namespace
}  // namespace vrax::bench
