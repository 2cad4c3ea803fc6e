// libvrax through its C interface only: its streams are the programs' streams for every format
// and thread count, damaged streams give the right error code and text, and the streaming calls
// work through pipes and callbacks.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "program_runner.h"
#include "test_util.h"
#include "vrax.hpp"

namespace vrax::test {
namespace {

constexpr unsigned THREAD_COUNTS[] = {1, 2, 3, 8};

std::vector<std::string> all_formats() {
    std::vector<std::string> formats;
    for (unsigned i = 0; vrax_format_name(i) != nullptr; ++i) formats.push_back(vrax_format_name(i));
    return formats;
}

Bytes compress(const std::string& format, const Bytes& input, unsigned threads) {
    Bytes out(vrax_compress_bound(format.c_str(), input.size()));
    const std::size_t n = vrax_compress(format.c_str(), input.data(), input.size(), out.data(),
                                        out.size(), threads);
    EXPECT_FALSE(vrax_is_error(n)) << format << ": " << vrax_error_string(n);
    out.resize(vrax_is_error(n) ? 0 : n);
    return out;
}

// Decompresses into exactly `capacity` bytes; the result is the size or the error code.
std::size_t decompress(const std::string& format, const Bytes& stream, std::size_t capacity,
                       unsigned threads, Bytes& out) {
    out.assign(capacity, 0);
    const std::size_t n = vrax_decompress(format.c_str(), stream.data(), stream.size(),
                                          out.data(), out.size(), threads);
    if (!vrax_is_error(n)) out.resize(n);
    return n;
}

// Enough input for three blocks of the small formats; one block of the 16 and 256 MiB ones.
Bytes sample_input(const std::string& format) {
    const std::size_t block = vrax_format_block_size(format.c_str());
    const std::size_t n = block <= (1u << 20) ? 2 * block + block / 3 + 7 : 300000;
    Bytes input = generate(Shape::binary_mix, n / 2, 7);
    const Bytes text = generate(Shape::text, n - n / 2, 8);
    input.insert(input.end(), text.begin(), text.end());
    return input;
}

class Formats : public ::testing::TestWithParam<std::string> {
protected:
    const char* format() const { return GetParam().c_str(); }
};

TEST_P(Formats, StreamsAreTheProgramsForEveryThreadCount) {
    ScratchDir dir;
    const Bytes input = sample_input(GetParam());
    write_file(dir / "in", input);
    ASSERT_EQ(run_program(GetParam(), {"c", dir / "in", dir / "stream"}).status, 0);
    const Bytes program_stream = read_file(dir / "stream");

    for (unsigned threads : THREAD_COUNTS) {
        EXPECT_TRUE(compress(GetParam(), input, threads) == program_stream) << threads;
        Bytes back;
        const std::size_t n = decompress(GetParam(), program_stream, input.size(), threads, back);
        ASSERT_FALSE(vrax_is_error(n)) << threads << ": " << vrax_error_string(n);
        EXPECT_TRUE(back == input) << threads;
    }
    EXPECT_LE(program_stream.size(), vrax_compress_bound(format(), input.size()));
}

TEST_P(Formats, EmptyInputGivesAnEmptyStream) {
    std::uint8_t byte = 0;
    EXPECT_EQ(vrax_compress(format(), nullptr, 0, &byte, 1, 0), 0u);
    EXPECT_EQ(vrax_decompress(format(), nullptr, 0, nullptr, 0, 0), 0u);
    EXPECT_EQ(vrax_compress_bound(format(), 0), 0u);
}

// Every refusal: the code, the block it names, no byte past the capacity, and the records before
// the failing one decoded in place.
TEST_P(Formats, DamagedStreamsAndSmallBuffersAreRefused) {
    // Two records, each a block of its own: the second is the one damaged.
    const Bytes part = generate(Shape::text, 3000, 3);
    const Bytes input = concat(part, Bytes(part.begin(), part.begin() + 2000));
    const Bytes first_record = compress(GetParam(), part, 1);
    const Bytes stream = concat(first_record, compress(GetParam(), Bytes(input.begin() + 3000, input.end()), 1));
    const std::size_t first = first_record.size();
    const std::size_t first_decoded = part.size();

    struct Case {
        const char* name;
        Bytes stream;
        std::size_t capacity;
        vrax_error_code code;
        const char* text;  // expected within the error text
    };
    const Case cases[] = {
        {"CutInsideTheSecondLength", Bytes(stream.begin(), stream.begin() + first + 2),
         input.size(), VRAX_ERROR_TRUNCATED, "length of block 2"},
        {"CutInsideTheSecondBlock", Bytes(stream.begin(), stream.end() - 1), input.size(),
         VRAX_ERROR_TRUNCATED, "block 2 should have"},
        {"LengthBelowAHeader", concat(first_record, hex("00 00 00 02 00 00")),
         input.size(), VRAX_ERROR_CORRUPT, "block 2 has a length of 2 bytes"},
        {"LengthBeyondTheFormat", concat(first_record, hex("7F 00 00 00 00")),
         input.size(), VRAX_ERROR_BLOCK_TOO_LARGE, "format with a larger block size"},
        {"ItemsPastTheBlock", concat(first_record, hex("00 00 00 06 00 00 00 00 FF FF")),
         input.size(), VRAX_ERROR_CORRUPT, "block 2 does not decode"},
        {"OneByteTooSmall", stream, input.size() - 1, VRAX_ERROR_DST_TOO_SMALL, "block 2"},
    };
    for (const Case& c : cases) {
        for (unsigned threads : {1u, 3u}) {
            Bytes out;
            const std::size_t n = decompress(GetParam(), c.stream, c.capacity, threads, out);
            ASSERT_TRUE(vrax_is_error(n)) << c.name;
            EXPECT_EQ(vrax_get_error_code(n), c.code) << c.name << ": " << vrax_error_string(n);
            EXPECT_NE(std::string(vrax_error_string(n)).find(c.text), std::string::npos)
                << c.name << ": " << vrax_error_string(n);
            EXPECT_TRUE(std::equal(input.begin(), input.begin() + first_decoded, out.begin()))
                << c.name;
        }
    }

    // Compression into one byte less than the stream needs.
    Bytes small(compress(GetParam(), input, 1).size() - 1);
    const std::size_t n = vrax_compress(format(), input.data(), input.size(), small.data(),
                                        small.size(), 2);
    EXPECT_EQ(vrax_get_error_code(n), VRAX_ERROR_DST_TOO_SMALL);
}

INSTANTIATE_TEST_SUITE_P(All, Formats, ::testing::ValuesIn(all_formats()),
                         [](const auto& info) { return test_name_of(info.param); });

TEST(Library, ArgumentsAndNames) {
    std::uint8_t buffer[64] = {};
    const std::size_t unknown = vrax_compress("vrax4", buffer, 1, buffer, sizeof buffer, 1);
    EXPECT_EQ(vrax_get_error_code(unknown), VRAX_ERROR_UNKNOWN_FORMAT);
    EXPECT_EQ(vrax_get_error_code(vrax_decompress(nullptr, buffer, 1, buffer, 1, 1)),
              VRAX_ERROR_UNKNOWN_FORMAT);
    EXPECT_EQ(vrax_get_error_code(vrax_compress("vrax1", nullptr, 5, buffer, 64, 1)),
              VRAX_ERROR_ARGUMENT);
    EXPECT_EQ(vrax_compress_bound("vrax4", 10), 0u);
    EXPECT_EQ(vrax_compress_bound("vrax5", SIZE_MAX - 10), 0u);
    EXPECT_EQ(vrax_format_block_size("vrax3a-16m"), 16u << 20);
    EXPECT_EQ(vrax_format_name(9), nullptr);
    EXPECT_STREQ(vrax_version_string(), "1.0.0");
    EXPECT_FALSE(vrax_is_error(0));
    EXPECT_STREQ(vrax_error_string(0), "no error");
}

// --- Streaming ---

struct Collected {
    Bytes bytes;
    int calls = 0;
    int cancel_after = -1;  // progress calls before asking to stop; -1 never
};

int collect(void* context, const void* data, std::size_t size) {
    auto* c = static_cast<Collected*>(context);
    const auto* p = static_cast<const std::uint8_t*>(data);
    c->bytes.insert(c->bytes.end(), p, p + size);
    return 0;
}

int count_progress(void* context, std::uint64_t, std::uint64_t) {
    auto* c = static_cast<Collected*>(context);
    return ++c->calls == c->cancel_after;
}

struct Source {
    const Bytes* bytes;
    std::size_t at = 0;
};

std::ptrdiff_t give(void* context, void* buffer, std::size_t capacity) {
    auto* s = static_cast<Source*>(context);
    // A few bytes at a time, as a pipe may give them.
    const std::size_t n = std::min({capacity, s->bytes->size() - s->at, std::size_t(7777)});
    std::memcpy(buffer, s->bytes->data() + s->at, n);
    s->at += n;
    return std::ptrdiff_t(n);
}

// Five records through a pipe into a file, back through callbacks; progress after each record.
TEST(Streaming, RoundTripThroughAPipe) {
    const Bytes input = generate(Shape::binary_mix, 300000, 11);
    ScratchDir dir;
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    std::thread feeder([&] {
        for (std::size_t at = 0; at < input.size();)
            at += std::size_t(write(pipe_fds[1], input.data() + at, std::min<std::size_t>(input.size() - at, 4096)));
        close(pipe_fds[1]);
    });
    const int out = open((dir / "stream").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    vrax_stream_stats stats{};
    const vrax_stream_options options{2, VRAX_FLAG_VERIFY, nullptr, nullptr};
    const std::size_t r = vrax_compress_fd("vrax3-64k", pipe_fds[0], out, &options, &stats);
    feeder.join();
    close(pipe_fds[0]);
    close(out);
    ASSERT_EQ(r, 0u) << vrax_error_string(r);
    const Bytes stream = read_file(dir / "stream");
    EXPECT_EQ(stats.records, 5u);
    EXPECT_EQ(stats.bytes_read, input.size());
    EXPECT_EQ(stats.bytes_written, stream.size());
    EXPECT_TRUE(stream == compress("vrax3-64k", input, 1));

    Source source{&stream};
    Collected back;
    const vrax_stream_options counting{3, 0, count_progress, &back};
    ASSERT_EQ(vrax_decompress_stream("vrax3-64k", give, &source, collect, &back, &counting, &stats), 0u);
    EXPECT_TRUE(back.bytes == input);
    EXPECT_EQ(back.calls, 5);
    EXPECT_EQ(stats.bytes_read, stream.size());

    // A progress callback that asks to stop after two records: exactly two records' bytes.
    Source again{&stream};
    Collected cut;
    cut.cancel_after = 2;
    const vrax_stream_options cancelling{3, 0, count_progress, &cut};
    const std::size_t cancelled =
        vrax_decompress_stream("vrax3-64k", give, &again, collect, &cut, &cancelling, &stats);
    EXPECT_EQ(vrax_get_error_code(cancelled), VRAX_ERROR_CANCELLED);
    EXPECT_EQ(cut.bytes.size(), 2u << 16);
    EXPECT_EQ(stats.records, 2u);
}

// Twenty records of a 64 KiB format, more than one batch, damaged at a block inside a batch: at
// every thread count, streamed and in one call, the error names that block and every record
// before it is written.
TEST(Streaming, AFailureInsideABatchWritesTheRecordsBeforeIt) {
    constexpr std::size_t BLOCK = 1u << 16;
    const Bytes input = generate(Shape::text, 20 * BLOCK - 100, 13);
    const Bytes stream = compress("vrax5", input, 2);
    const auto record_at = [&](std::size_t n) {  // where record n (from 1) starts
        std::size_t at = 0;
        for (; n > 1; --n)
            at += 4 + (std::size_t(stream[at]) << 24 | std::size_t(stream[at + 1]) << 16 |
                       std::size_t(stream[at + 2]) << 8 | stream[at + 3]);
        return at;
    };
    struct Case {
        const char* name;
        std::size_t block;
        bool cut;  // the stream ends inside the block; otherwise the block does not decode
        vrax_error_code code;
    };
    const Case cases[] = {
        {"CorruptInTheFirstBatch", 5, false, VRAX_ERROR_CORRUPT},
        {"CorruptInTheSecondBatch", 18, false, VRAX_ERROR_CORRUPT},
        {"CutInTheSecondBatch", 18, true, VRAX_ERROR_TRUNCATED},
    };
    for (const Case& c : cases) {
        const Bytes before(stream.begin(), stream.begin() + record_at(c.block));
        const Bytes damaged =
            c.cut ? Bytes(stream.begin(), stream.begin() + before.size() + 7)
                  : concat(concat(before, hex("00 00 00 06 00 00 00 00 FF FF")),
                           Bytes(stream.begin() + record_at(c.block + 1), stream.end()));
        const std::string block = "block " + std::to_string(c.block) + " ";
        const auto good_end = input.begin() + (c.block - 1) * BLOCK;
        for (unsigned threads : THREAD_COUNTS) {
            Source source{&damaged};
            Collected streamed;
            const vrax_stream_options options{threads, 0, nullptr, nullptr};
            const std::size_t r = vrax_decompress_stream("vrax5", give, &source, collect,
                                                         &streamed, &options, nullptr);
            EXPECT_EQ(vrax_get_error_code(r), c.code) << c.name << " " << threads;
            EXPECT_NE(std::string(vrax_error_string(r)).find(block), std::string::npos)
                << c.name << " " << threads << ": " << vrax_error_string(r);
            EXPECT_TRUE(streamed.bytes == Bytes(input.begin(), good_end)) << c.name << " " << threads;

            Bytes whole;
            const std::size_t n = decompress("vrax5", damaged, input.size(), threads, whole);
            EXPECT_EQ(vrax_get_error_code(n), c.code) << c.name << " " << threads;
            EXPECT_NE(std::string(vrax_error_string(n)).find(block), std::string::npos)
                << c.name << " " << threads << ": " << vrax_error_string(n);
            EXPECT_TRUE(std::equal(input.begin(), good_end, whole.begin())) << c.name << " " << threads;
        }
    }
}

// Read and write failures of descriptors name the cause.
TEST(Streaming, ReadAndWriteErrors) {
    const int full = open("/dev/full", O_WRONLY);
    const int zero = open("/dev/zero", O_RDONLY);
    ASSERT_GE(full, 0);
    const std::size_t w = vrax_compress_fd("vrax1", zero, full, nullptr, nullptr);
    EXPECT_EQ(vrax_get_error_code(w), VRAX_ERROR_WRITE);
    EXPECT_NE(std::string(vrax_error_string(w)).find("No space left"), std::string::npos)
        << vrax_error_string(w);
    const int directory = open("/", O_RDONLY);
    const std::size_t r = vrax_decompress_fd("vrax1", directory, full, nullptr, nullptr);
    EXPECT_EQ(vrax_get_error_code(r), VRAX_ERROR_READ);
    close(full);
    close(zero);
    close(directory);
}

// The C++ interface: vectors both ways, vrax::error with the code, and a callback's own exception
// carried out of the call.
TEST(CppInterface, VectorsErrorsAndCallbackExceptions) {
    const Bytes input = generate(Shape::text, 150000, 12);
    const Bytes stream = vrax::compress("vrax3-64k", input, 2);
    EXPECT_TRUE(stream == compress("vrax3-64k", input, 1));
    EXPECT_TRUE(vrax::decompress("vrax3-64k", stream, 3) == input);

    Bytes small(input.size() - 1);
    try {
        vrax::decompress("vrax3-64k", stream, small, 1);
        ADD_FAILURE() << "no exception";
    } catch (const vrax::error& e) {
        EXPECT_EQ(e.code(), VRAX_ERROR_DST_TOO_SMALL);
        EXPECT_NE(std::string(e.what()).find("block 3"), std::string::npos) << e.what();
    }

    struct Full : std::exception {};
    std::size_t at = 0;
    auto read = [&](std::span<std::uint8_t> buffer) {
        const std::size_t n = std::min(buffer.size(), input.size() - at);
        std::memcpy(buffer.data(), input.data() + at, n);
        at += n;
        return n;
    };
    EXPECT_THROW(vrax::compress_stream("vrax1", read, [](std::span<const std::uint8_t>) { throw Full(); }),
                 Full);
}

}  // namespace
}  // namespace vrax::test
