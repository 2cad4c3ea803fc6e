// The generated benchmark set: five files of data unlike the text, XML and executable of the
// shared corpus, so that no codec is tuned to text alone. Every byte follows from fixed seeds
// with integer arithmetic only, so every machine and compiler generates the same set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrax::bench {

struct GeneratedFile {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

// The whole set, about 4 MiB per file:
//   greyscale16.raw  a 16-bit little-endian greyscale scan: dark background, a body of smoothly
//                    varying tissue with brighter organs, and noise in the low bits
//   records.db       fixed-width database records: ASCII fields padded with spaces, binary
//                    integers, sequential keys
//   counters-be.bin  big-endian counters of 16, 24, 32 and 64 bits, 1 MiB each
//   sequence.acgt    a four-letter sequence with repeats copied from earlier with mutations
//   text-utf8.txt    Polish-like and Russian-like prose (UTF-8, Zipf-distributed words)
std::vector<GeneratedFile> generated_set();

}  // namespace vrax::bench
