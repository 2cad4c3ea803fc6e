// Real data: the three files of the shared corpus (text, XML, an executable) through every
// program's configuration, in memory through the driver's loops. Each stream must decode to the
// file, and its length and FNV-1a hash are pinned, so that any change to the bytes a codec writes
// shows up here. Skipped, with a message, where the corpus or an unzip tool is absent.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "driver_stream.h"
#include "memory_stream.h"
#include "program_table.h"
#include "test_util.h"

namespace vrax::test {
namespace {

namespace fs = std::filesystem;

// The file `name` out of corpus/<name>.zip, or nothing when it cannot be had.
Bytes corpus_file(const std::string& name) {
    const fs::path zip = fs::path(VRAX_CORPUS_DIR) / (name + ".zip");
    if (!fs::exists(zip)) return {};
    const std::string commands[] = {
        "unzip -p '" + zip.string() + "' 2>/dev/null",
        "python3 -c \"import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
        "sys.stdout.buffer.write(z.read(z.namelist()[0]))\" '" + zip.string() + "' 2>/dev/null",
    };
    for (const std::string& command : commands) {
        std::FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) continue;
        Bytes data;
        std::uint8_t chunk[1 << 16];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
            data.insert(data.end(), chunk, chunk + n);
        if (pclose(pipe) == 0 && !data.empty()) return data;
    }
    return {};
}

std::uint64_t fnv1a(const Bytes& data) {
    std::uint64_t h = 0xcbf29ce484222325u;
    for (std::uint8_t b : data) h = (h ^ b) * 0x100000001b3u;
    return h;
}

struct Pinned {
    std::size_t length;
    std::uint64_t hash;
};

// Each program's streams of the three files. vrax3a-256m writes the same streams as vrax3a-16m
// for files under 16 MiB and is left out.
struct Streams {
    const char* program;
    Pinned dickens, ooffice, xml;
};

const Streams PINNED[] = {
    {"vrax1", {6597828, 0xba2ead8cdd993d14}, {4270999, 0xb82312319ee4da3}, {1845684, 0x71c39635dee74330}},
    {"vrax1a", {6592534, 0x37d89cf5dfa5bfc}, {4257547, 0xb3cd9cfd28446dad}, {1795791, 0x37350cac5baaaed9}},
    {"vrax2", {6161838, 0x6cf1381324968714}, {4140503, 0x85f5c64ea978f81b}, {1576223, 0x5170e37011335b6c}},
    {"vrax3", {5836594, 0x22cedf655b77a83d}, {4039497, 0x4f1b06fba886bd35}, {1512111, 0x6e0ba1e6d0fa4db8}},
    {"vrax3-64k", {6059533, 0x5c569881ae32c7dd}, {4092398, 0xf08420355f0f569b}, {1597352, 0xe9dd609a04b8597}},
    {"vrax3a", {5148908, 0x6edc9316179e6924}, {3851164, 0xa26df93137144b4}, {1242774, 0x4f67fb014d7163f5}},
    {"vrax3a-16m", {5128920, 0xf0a6329e387890b}, {3847824, 0xbe071257b88950e4}, {1232261, 0x4483099dec344943}},
    {"vrax5", {5644044, 0x101ce7306f5948aa}, {4838770, 0xf058da3b9d30c020}, {1854376, 0x72590e65304be770}},
};

class Corpus : public ::testing::TestWithParam<const char*> {};

TEST_P(Corpus, EveryProgramRoundTripsAndWritesThePinnedStream) {
    const std::string name = GetParam();
    const Bytes file = corpus_file(name);
    if (file.empty()) GTEST_SKIP() << "corpus file " << name << " not available (no ../shared/corpus or no unzip)";
    for (const Streams& pinned_streams : PINNED) {
        const ProgramDefinition& c = PROGRAM_TABLE[program_named(pinned_streams.program)];
        const std::uint32_t capacity = c.block_size + c.slack;
        Bytes input(capacity), output(capacity);
        Bytes memory(c.codec.has_entry_point() ? 800000 : 0, 0);
        auto setup = [&] {
            std::fill(memory.begin(), memory.end(), 0);
            return StreamSetup{c.codec, memory.empty() ? nullptr : memory.data(),
                               BlockBuffers{input.data(), output.data(), capacity, c.block_size}};
        };
        Bytes stream, back;
        ASSERT_EQ(run_in_memory(compress_stream, setup(), file, stream).error, StreamError::none);
        ASSERT_EQ(run_in_memory(decompress_stream, setup(), stream, back).error, StreamError::none);
        EXPECT_TRUE(back == file) << c.name << " " << name << ": round trip differs";
        const Pinned& pinned = name == "dickens"   ? pinned_streams.dickens
                               : name == "ooffice" ? pinned_streams.ooffice
                                                   : pinned_streams.xml;
        EXPECT_EQ(stream.size(), pinned.length) << c.name << " " << name;
        EXPECT_EQ(fnv1a(stream), pinned.hash)
            << c.name << " " << name << std::hex << " hash 0x" << fnv1a(stream);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, ::testing::Values("dickens", "ooffice", "xml"));

}  // namespace
}  // namespace vrax::test
