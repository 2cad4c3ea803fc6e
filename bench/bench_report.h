// What vraxbench computes from its measurements: block and record counts, ratios, speeds, totals,
// the repetition rule and the CSV rows. Kept apart from the timing loop so that it can be tested.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vrax::bench {

// Every compressed block is stored behind a 4-byte length, as in the stream file, and that length
// counts towards the compressed size of every configuration, peers included.
inline constexpr std::uint64_t RECORD_HEADER_BYTES = 4;

// Number of blocks of at most block_size bytes that cover `bytes` (0 for an empty input).
std::uint64_t block_count(std::uint64_t bytes, std::uint32_t block_size);

// One configuration on one input: sizes and the best time of each direction.
struct Measurement {
    std::uint64_t input_bytes = 0;
    std::uint64_t compressed_bytes = 0;  // block bodies and their 4-byte record headers
    double compress_seconds = 0;         // best repetition over the whole input
    double decompress_seconds = 0;

    Measurement& operator+=(const Measurement& other);
};

// Sums sizes and times, so that a total speed is total bytes over total time (not an average of
// the per-file speeds, which would weigh a small file like a large one).
Measurement total(std::span<const Measurement> parts);

// Compressed size as a percentage of the input; NaN for an empty input.
double ratio_percent(std::uint64_t compressed_bytes, std::uint64_t input_bytes);

// Speed in MB/s, 10^6 input bytes per second; NaN when there is no time or no data to divide.
double mb_per_s(std::uint64_t input_bytes, double seconds);

// Whether another repetition is due: at least two (the first one also pays for touching fresh
// pages), and more until their times add up to min_seconds.
bool want_another_repetition(unsigned repetitions, double elapsed_seconds, double min_seconds);

// "1 MiB", "64 KiB", "256 MiB", or the number of bytes when it is no whole power of 1024.
std::string block_size_text(std::uint32_t block_size);

// A number with a fixed count of decimals, or "-" (table) / "" (CSV) for NaN.
std::string fixed(double value, int decimals, std::string_view missing = "-");

// The CSV file: this header line, then one row per configuration for the whole corpus.
std::string_view csv_header();
std::string csv_row(std::string_view name, std::uint32_t block_size, const Measurement& m);

}  // namespace vrax::bench
