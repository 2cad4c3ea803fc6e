// Ratio and speed arithmetic, totals and CSV rows of vraxbench.
#include "bench_report.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace vrax::bench {

std::uint64_t block_count(std::uint64_t bytes, std::uint32_t block_size) {
    return bytes / block_size + (bytes % block_size != 0 ? 1 : 0);
}

Measurement& Measurement::operator+=(const Measurement& other) {
    input_bytes += other.input_bytes;
    compressed_bytes += other.compressed_bytes;
    compress_seconds += other.compress_seconds;
    decompress_seconds += other.decompress_seconds;
    return *this;
}

Measurement total(std::span<const Measurement> parts) {
    Measurement sum;
    for (const Measurement& m : parts) sum += m;
    return sum;
}

double ratio_percent(std::uint64_t compressed_bytes, std::uint64_t input_bytes) {
    if (input_bytes == 0) return std::numeric_limits<double>::quiet_NaN();
    return 100.0 * double(compressed_bytes) / double(input_bytes);
}

double mb_per_s(std::uint64_t input_bytes, double seconds) {
    if (input_bytes == 0 || !(seconds > 0)) return std::numeric_limits<double>::quiet_NaN();
    return double(input_bytes) / 1e6 / seconds;
}

bool want_another_repetition(unsigned repetitions, double elapsed_seconds, double min_seconds) {
    return repetitions < 2 || elapsed_seconds < min_seconds;
}

std::string block_size_text(std::uint32_t block_size) {
    if (block_size >= 1u << 20 && block_size % (1u << 20) == 0)
        return std::to_string(block_size >> 20) + " MiB";
    if (block_size >= 1u << 10 && block_size % (1u << 10) == 0)
        return std::to_string(block_size >> 10) + " KiB";
    return std::to_string(block_size);
}

std::string fixed(double value, int decimals, std::string_view missing) {
    if (!std::isfinite(value)) return std::string(missing);
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string_view csv_header() {
    return "name,block_size,input_bytes,compressed_bytes,compress_mb_s,decompress_mb_s";
}

std::string csv_row(std::string_view name, std::uint32_t block_size, const Measurement& m) {
    std::string row(name);
    row += ',' + std::to_string(block_size);
    row += ',' + std::to_string(m.input_bytes);
    row += ',' + std::to_string(m.compressed_bytes);
    row += ',' + fixed(mb_per_s(m.input_bytes, m.compress_seconds), 2, "");
    row += ',' + fixed(mb_per_s(m.input_bytes, m.decompress_seconds), 2, "");
    return row;
}

}  // namespace vrax::bench
