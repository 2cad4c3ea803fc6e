// Damaged streams of every program: valid streams cut short at every point and with bytes flipped
// everywhere. Each run must give back the original bytes or fail cleanly, never write a wrong
// byte before the damaged record, and never pass off a damaged length field or a cut record as a
// good stream. Most runs go through the driver's loops in memory with small blocks; a handful
// through the real programs. Last, the edges of the codecs' own buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "copy.h"
#include "driver_stream.h"
#include "memory_stream.h"
#include "program_runner.h"
#include "test_util.h"
#include "vrax1.h"
#include "vrax1a.h"
#include "vrax2.h"
#include "vrax3.h"
#include "vrax3a.h"

namespace vrax::test {
namespace {

// The in-memory runs cut their input into blocks this long, so a stream has several records.
constexpr std::uint32_t SMALL_BLOCK = 1000;

struct StreamRun {
    StreamOutcome outcome;
    Bytes output;
};

// The driver's two loops with the program's codec and SMALL_BLOCK. Decompression reuses one
// working memory for every run: a decoder must not depend on what an earlier run left in it.
class MemoryProgram {
public:
    explicit MemoryProgram(const ProgramDefinition& program)
        : program_(program), input_(SMALL_BLOCK + program.slack),
          output_(SMALL_BLOCK + program.slack), decompress_memory_(memory_size()) {}

    Bytes compress(const Bytes& in) {
        Bytes memory(memory_size());  // zero-filled, as each run of a program starts
        StreamRun run = this->run(compress_stream, in, memory);
        EXPECT_EQ(run.outcome.error, StreamError::none);
        return run.output;
    }

    StreamRun decompress(const Bytes& stream) {
        return run(decompress_stream, stream, decompress_memory_);
    }

    std::size_t memory_size() const { return program_.codec.work_memory_size(); }

private:
    template <class Loop>
    StreamRun run(Loop loop, const Bytes& in, Bytes& memory) {
        const StreamSetup setup{program_.codec, memory.empty() ? nullptr : memory.data(),
                                BlockBuffers{input_.data(), output_.data(),
                                             std::uint32_t(input_.size()), SMALL_BLOCK}};
        StreamRun run;
        run.outcome = run_in_memory(loop, setup, in, run.output);
        return run;
    }

    const ProgramDefinition& program_;
    Bytes input_, output_, decompress_memory_;
};

// Where each record of a stream starts; the last entry is the stream's end.
std::vector<std::size_t> record_starts(const Bytes& stream) {
    std::vector<std::size_t> starts{0};
    for (std::size_t at = 0; at + 4 <= stream.size();) {
        at += 4 + (std::size_t(stream[at]) << 24 | std::size_t(stream[at + 1]) << 16 |
                   std::size_t(stream[at + 2]) << 8 | stream[at + 3]);
        starts.push_back(at);
    }
    return starts;
}

// The record that holds byte `at` (0-based).
std::size_t record_of(const std::vector<std::size_t>& starts, std::size_t at) {
    std::size_t k = 0;
    while (starts[k + 1] <= at) ++k;
    return k;
}

Bytes length_field(std::uint32_t L) {
    return {std::uint8_t(L >> 24), std::uint8_t(L >> 16), std::uint8_t(L >> 8), std::uint8_t(L)};
}

Bytes prefix(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + long(std::min(n, b.size()))); }

struct Sample {
    const char* name;
    Bytes input;
};

// Three or four records each: one that codes well, noise that is stored, runs that code into
// few bytes.
std::vector<Sample> samples() {
    return {{"text", generate(Shape::text, 2400, 11)},
            {"random", generate(Shape::random, 2100, 12)},
            {"runs", generate(Shape::runs, 3100, 13)}};
}

class Robustness : public ::testing::TestWithParam<ProgramDefinition> {};

// A stream cut between two records is a shorter good stream; cut anywhere else it is refused as
// truncated, after writing exactly the records before the cut.
TEST_P(Robustness, TruncatedStreamsAreRefusedUnlessCutBetweenRecords) {
    MemoryProgram program(GetParam());
    for (const Sample& s : samples()) {
        const Bytes stream = program.compress(s.input);
        const std::vector<std::size_t> starts = record_starts(stream);
        ASSERT_EQ(starts.back(), stream.size()) << s.name;
        for (std::size_t cut = 0; cut < stream.size(); ++cut) {
            const std::size_t k = record_of(starts, cut);
            // Every cut near a record's edges, every seventh inside its block.
            const bool near_edge = cut - starts[k] < 12 || starts[k + 1] - cut <= 12;
            if (!near_edge && cut % 7 != 0) continue;
            StreamRun run = program.decompress(prefix(stream, cut));
            const std::string where = std::string(s.name) + " cut at " + std::to_string(cut);
            EXPECT_EQ(run.output, prefix(s.input, k * SMALL_BLOCK)) << where;
            if (cut == starts[k]) {
                EXPECT_EQ(run.outcome.error, StreamError::none) << where;
            } else {
                EXPECT_EQ(run.outcome.error, cut - starts[k] < 4 ? StreamError::truncated_length
                                                                 : StreamError::truncated_block)
                    << where;
                EXPECT_EQ(run.outcome.block, k + 1) << where;
            }
        }
    }
}

// A flipped byte in a length field is always refused; one in the unread header bytes changes
// nothing; one anywhere else may decode to other bytes or be refused, but never disturbs the
// records before it, and a refusal names the damaged record or a later one.
TEST_P(Robustness, FlippedBytesAreRefusedOrConfinedToTheirRecord) {
    MemoryProgram program(GetParam());
    for (const Sample& s : samples()) {
        const Bytes stream = program.compress(s.input);
        const std::vector<std::size_t> starts = record_starts(stream);
        for (std::size_t at = 0; at < stream.size(); ++at) {
            const std::size_t k = record_of(starts, at);
            const std::size_t offset = at - starts[k];  // 0-3 length, 4-7 block header
            // The low bit at even positions and the high bit at odd ones, so that every length
            // field sees both small and large changes.
            const std::uint8_t flip = at % 2 == 0 ? 0x01 : 0x80;
            Bytes damaged = stream;
            damaged[at] ^= flip;
            StreamRun run = program.decompress(damaged);
            const std::string where = std::string(s.name) + " byte " + std::to_string(at) +
                                      " ^ " + std::to_string(flip);
            ASSERT_GE(run.output.size(), std::min(k * SMALL_BLOCK, s.input.size())) << where;
            EXPECT_EQ(prefix(run.output, k * SMALL_BLOCK), prefix(s.input, k * SMALL_BLOCK))
                << where;
            if (offset < 4) {
                EXPECT_NE(run.outcome.error, StreamError::none) << where;
            } else if (offset >= 5 && offset < 8) {
                EXPECT_EQ(run.outcome.error, StreamError::none) << where;
                EXPECT_EQ(run.output, s.input) << where;
            }
            if (run.outcome.error != StreamError::none) {
                EXPECT_GE(run.outcome.block, k + 1) << where;
            }
        }
    }
}

// A stream written with larger blocks than the reader's: refused whether its record is too long
// for the input buffer or decodes to more than the output buffer holds.
TEST_P(Robustness, BlocksLargerThanTheBuffersAreRefused) {
    const ProgramDefinition& p = GetParam();
    MemoryProgram program(p);
    for (const Bytes& input : {repeat('a', 6 * SMALL_BLOCK), generate(Shape::random, 3 * SMALL_BLOCK, 5)}) {
        // One record of the whole input, as a program with a larger block size writes it.
        Bytes block(input.size() + p.slack);
        Bytes memory(p.codec.work_memory_size());
        CodecResult r{};
        CodecStatus status = p.codec.compress(memory.data(), input.data(), std::uint32_t(input.size()),
                                              block.data(), std::uint32_t(block.size()), &r);
        ASSERT_EQ(status, CodecStatus::ok);
        block.resize(r.length);

        StreamRun run = program.decompress(concat(length_field(r.length), block));
        EXPECT_TRUE(run.outcome.error == StreamError::block_too_long ||
                    run.outcome.error == StreamError::decoded_too_long)
            << int(run.outcome.error);
        EXPECT_TRUE(run.output.empty());
    }
}

// The real program on a sample of the same damage: status 1 and a message for what it must
// refuse, the original bytes for what it must accept, and never a signal.
TEST_P(Robustness, ProgramsFailCleanlyOnDamagedStreams) {
    const std::string name = GetParam().name;
    ScratchDir dir;
    const Bytes input = generate(Shape::text, 3000, 21);
    write_file(dir / "in", input);
    ASSERT_EQ(run_program(name, {"c", dir / "in", dir / "packed"}).status, 0);
    const Bytes stream = read_file(dir / "packed");
    ASSERT_EQ(record_starts(stream).size(), 2u);  // one record

    struct Damage {
        const char* what;
        Bytes stream;
        bool refused;
    };
    auto flipped = [&](std::size_t at, std::uint8_t flip) {
        Bytes b = stream;
        b[at] ^= flip;
        return b;
    };
    // The single record's length changed by `delta`.
    auto relength = [&](int delta) {
        const std::size_t L = stream.size() - 4;
        return concat(length_field(std::uint32_t(long(L) + delta)), Bytes(stream.begin() + 4, stream.end()));
    };
    const Damage damages[] = {
        {"untouched", stream, false},
        {"unread header byte flipped", flipped(6, 0xFF), false},
        {"length one more", relength(1), true},
        {"length one less", relength(-1), true},
        {"length high byte", flipped(0, 0x40), true},
        {"cut in the middle", prefix(stream, stream.size() / 2), true},
    };
    for (const Damage& d : damages) {
        write_file(dir / "damaged", d.stream);
        RunResult r = run_program(name, {"d", dir / "damaged", dir / "out"});
        if (d.refused) {
            // The driver's messages name the file; a codec's own (VRAX5's) are its fixed texts.
            EXPECT_EQ(r.status, 1) << d.what;
            EXPECT_FALSE(r.err.empty() && r.out.empty()) << d.what;
        } else {
            EXPECT_EQ(r.status, 0) << d.what << ": " << r.err;
            EXPECT_EQ(read_file(dir / "out"), input) << d.what;
        }
    }
}

// Found by fuzz_decode: after a group of sixteen copies, the fast loop moved 16 more literal
// bytes although no item was left, reading one byte past a block that ended 49 bytes after the
// group's start and writing two bytes past an output buffer 302 bytes from it. This block puts
// both edges exactly there: a literal and 15 copies, 16 copies, then 13 literals.
TEST(DecoderRegression, LiteralMoveAfterSixteenCopiesStaysInsideBuffers) {
    Bytes block = hex("00 00 00 00 FE FF 61");
    for (int k = 0; k < 15; ++k) block = concat(block, hex("0F 01"));
    block = concat(block, hex("FF FF"));
    for (int k = 0; k < 16; ++k) block = concat(block, hex("0F 01"));
    block = concat(concat(block, hex("00 E0")), repeat('b', 13));
    ASSERT_EQ(block.size(), 86u);
    const Bytes expected = concat(repeat('a', 559), repeat('b', 13));

    // The block flush against its allocation's end (AddressSanitizer), the output followed by
    // guard bytes that must stay untouched.
    const std::uint32_t capacity = 573;
    Bytes out(capacity + 16, 0xEE);
    CodecResult r{};
    ASSERT_EQ(vrax1a_decompress(nullptr, block.data(), std::uint32_t(block.size()), out.data(),
                                capacity, &r),
              CodecStatus::ok);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + r.length), expected);
    EXPECT_EQ(Bytes(out.begin() + capacity, out.end()), repeat(0xEE, 16));
}

// A compressor writes the literals of a group after sixteen literals as 16-byte runs, which may
// reach past the group's items. Random bytes bring the coded size to the input's at 8/9 of it,
// and zeros after them make a group of copies there; the cut moves the limit over every place
// in a group. Nothing may land past the n + 32 bytes that the compressors ask for.
TEST(CompressorBounds, NothingWrittenPastTheDestination) {
    struct Compressor {
        const char* name;
        CodecRoutine* compress;
    };
    const Compressor compressors[] = {{"vrax1", vrax1_compress},
                                      {"vrax1a", vrax1a_compress},
                                      {"vrax2", vrax2_compress},
                                      {"vrax3", vrax3_compress},
                                      {"vrax3a", vrax3a_compress}};
    constexpr std::uint32_t n = 4096, capacity = n + 32, guard = 16;
    const Bytes noise = generate(Shape::random, n, 7);
    for (const Compressor& c : compressors) {
        for (std::uint32_t cut = 3560; cut < 3680; ++cut) {
            Bytes in = noise;
            std::fill(in.begin() + cut, in.end(), 0);
            std::vector<std::uint64_t> work(8192);  // zero-filled, more than any of them needs
            Bytes out(capacity + guard, 0xEE);
            CodecResult r{};
            ASSERT_EQ(c.compress(work.data(), in.data(), n, out.data(), capacity, &r),
                      CodecStatus::ok)
                << c.name;
            ASSERT_EQ(Bytes(out.begin() + capacity, out.end()), repeat(0xEE, guard))
                << c.name << ", zeros from " << cut;
        }
    }
}

// The decoders' wide copies of items, every offset that takes its own form (a short period, a
// near source, a far one) and every length: the bytes of the byte loop, and nothing written
// past the 32 bytes that the fast loop leaves them.
template <std::size_t MAX_LEN>
void expect_wide_copies_exact() {
    const Bytes noise = generate(Shape::random, 64, 11);
    for (std::size_t offset = 1; offset <= 20; ++offset) {
        for (std::size_t len = 1; len <= MAX_LEN; ++len) {
            Bytes expected = noise, actual = noise;
            copy_forward_exact(expected.data() + 20, expected.data() + 20 - offset, len);
            copy_forward_wide<MAX_LEN>(actual.data() + 20, actual.data() + 20 - offset, len);
            const auto end = std::ptrdiff_t(20 + len);
            EXPECT_EQ(Bytes(actual.begin(), actual.begin() + end),
                      Bytes(expected.begin(), expected.begin() + end))
                << "offset " << offset << ", length " << len;
            EXPECT_EQ(Bytes(actual.begin() + 20 + 32, actual.end()),
                      Bytes(noise.begin() + 20 + 32, noise.end()))
                << "offset " << offset << ", length " << len;
        }
    }
}

TEST(WideCopies, EqualTheByteLoopWithinTheirReach) {
    expect_wide_copies_exact<16>();
    expect_wide_copies_exact<18>();
}

INSTANTIATE_TEST_SUITE_P(All, Robustness, ::testing::ValuesIn(programs_under_test()),
                         [](const auto& info) { return test_name_of(info.param.name); });

}  // namespace
}  // namespace vrax::test
