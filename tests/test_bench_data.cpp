// The generated benchmark set is the same on every machine and in every version, so that speeds
// and ratios measured on it compare: each file's length and FNV-1a hash are pinned.
#include <gtest/gtest.h>

#include "bench_data.h"

namespace vrax::bench {
namespace {

std::uint64_t fnv1a(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t h = 0xCBF29CE484222325u;
    for (std::uint8_t b : bytes) h = (h ^ b) * 0x100000001B3u;
    return h;
}

TEST(BenchData, GeneratedSetIsPinned) {
    struct Pin {
        const char* name;
        std::size_t size;
        std::uint64_t hash;
    };
    const Pin pins[] = {
        {"greyscale16.raw", 4194304, 0x29AFBFD1847FABA8},
        {"records.db", 4194240, 0x85C1A62B163B7B2E},
        {"counters-be.bin", 4194303, 0x352E1633B44F4270},
        {"sequence.acgt", 4194304, 0xD8F827A749C4EB6C},
        {"text-utf8.txt", 4194779, 0x8180A50E911EEF7D},
    };
    const std::vector<GeneratedFile> files = generated_set();
    ASSERT_EQ(files.size(), std::size(pins));
    for (std::size_t k = 0; k < files.size(); ++k) {
        EXPECT_EQ(files[k].name, pins[k].name);
        EXPECT_EQ(files[k].bytes.size(), pins[k].size) << pins[k].name;
        EXPECT_EQ(fnv1a(files[k].bytes), pins[k].hash) << pins[k].name;
    }
}

}  // namespace
}  // namespace vrax::bench
