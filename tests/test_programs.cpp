// The programs run as a user runs them: messages, exit statuses, files created or left alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "program_runner.h"

namespace vrax::test {
namespace {

std::string usage_text(const std::string& argv0) {
    return "To compress:   " + argv0 + " c input output\nTo decompress: " + argv0 +
           " d input output\n";
}

class Programs : public ::testing::TestWithParam<ProgramDefinition> {
protected:
    std::string name() const { return GetParam().name; }
    RunResult run(const std::vector<std::string>& operands) const { return run_program(name(), operands); }
    ScratchDir dir;
};

TEST_P(Programs, UsageErrorsPrintUsageAndCreateNothing) {
    write_file(dir / "in", ascii("data"));
    const std::string in = dir / "in";
    const std::string out = dir / "out";
    const std::vector<std::vector<std::string>> operand_sets = {
        {}, {"c"}, {"c", in}, {"x", in, out}, {"C", in, out}, {"D", in, out}, {"", in, out},
    };
    for (const auto& operands : operand_sets) {
        RunResult r = run(operands);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, usage_text(program_path(name())));
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST_P(Programs, OnlyTheFirstCharacterOfTheModeCounts) {
    const Bytes input = generate(Shape::text, 3000, 1);
    write_file(dir / "in", input);
    ASSERT_EQ(run({"compress", dir / "in", dir / "packed"}).status, 0);
    ASSERT_EQ(run({"dump", dir / "packed", dir / "back", "extra", "operands"}).status, 0);
    EXPECT_EQ(read_file(dir / "back"), input);
}

TEST_P(Programs, FilesThatCannotBeOpenedAreReportedLikePerror) {
    write_file(dir / "in", ascii("data"));
    const std::string missing = dir / "missing";
    const std::string out = dir / "out";
    RunResult r = run({"c", missing, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, missing + ": No such file or directory\n");
    EXPECT_FALSE(fs::exists(out));

    const std::string nowhere = dir / "no-such-dir" / "out";
    r = run({"d", dir / "in", nowhere});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, nowhere + ": No such file or directory\n");
}

TEST_P(Programs, EmptyFilesAndBlockBoundariesRoundTrip) {
    const std::uint32_t b = GetParam().block_size;
    for (std::size_t n : {std::size_t(0), std::size_t(5), std::size_t(b) - 1, std::size_t(b),
                          std::size_t(b) + 1, 2 * std::size_t(b) + 1}) {
        const Bytes input = generate(Shape::binary_mix, n, std::uint32_t(n));
        write_file(dir / "in", input);
        RunResult c = run({"c", dir / "in", dir / "packed"});
        ASSERT_EQ(c.status, 0) << c.err;
        EXPECT_EQ(c.out + c.err, "");
        if (n == 0) {
            EXPECT_EQ(fs::file_size(dir / "packed"), 0u);
        }
        RunResult d = run({"d", dir / "packed", dir / "back"});
        ASSERT_EQ(d.status, 0) << d.err;
        EXPECT_EQ(read_file(dir / "back"), input) << "n=" << n;
    }
}

TEST_P(Programs, RefusesToWriteOverItsInput) {
    const Bytes input = generate(Shape::text, 1000, 2);
    write_file(dir / "same", input);
    for (const char* mode : {"c", "d"}) {
        RunResult r = run({mode, dir / "same", dir / "same"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("same file"), std::string::npos) << r.err;
        EXPECT_EQ(read_file(dir / "same"), input);
    }
}

// Every failure after the output was opened names the program and the file, exits with 1 and
// removes the incomplete output.
TEST_P(Programs, DamagedStreamsFailCleanlyAndLeaveNoOutput) {
    write_file(dir / "in", generate(Shape::text, 5000, 3));
    ASSERT_EQ(run({"c", dir / "in", dir / "packed"}).status, 0);
    const Bytes packed = read_file(dir / "packed");
    struct Damage {
        const char* what;
        Bytes stream;
    };
    const Damage damages[] = {
        {"cut inside the length", Bytes(packed.begin(), packed.begin() + 2)},
        {"cut inside the block", Bytes(packed.begin(), packed.end() - 1)},
        {"length below a header", concat(packed, hex("00 00 00 02 00 00"))},
        {"length beyond any block", concat(packed, hex("7F 00 00 00 00 00 00 00"))},
    };
    for (const Damage& d : damages) {
        write_file(dir / "damaged", d.stream);
        write_file(dir / "out", ascii("previous content"));
        RunResult r = run({"d", dir / "damaged", dir / "out"});
        EXPECT_EQ(r.status, 1) << d.what;
        EXPECT_EQ(r.err.rfind(program_path(name()) + ": " + (dir / "damaged").string() + ": ", 0), 0u)
            << d.what << ": " << r.err;
        EXPECT_FALSE(fs::exists(dir / "out")) << d.what;
    }
}

TEST_P(Programs, WriteAndReadErrorsAreReported) {
    write_file(dir / "in", generate(Shape::text, 5000, 4));
    RunResult full = run({"c", dir / "in", "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("/dev/full: write error"), std::string::npos) << full.err;
    EXPECT_TRUE(fs::exists("/dev/full"));

    // A directory opens for reading but cannot be read.
    RunResult unreadable = run({"c", dir.path(), dir / "out"});
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_NE(unreadable.err.find("read error"), std::string::npos) << unreadable.err;
    EXPECT_FALSE(fs::exists(dir / "out"));
}

INSTANTIATE_TEST_SUITE_P(All, Programs, ::testing::ValuesIn(programs_under_test()),
                         [](const auto& info) { return test_name_of(info.param.name); });

}  // namespace
}  // namespace vrax::test
