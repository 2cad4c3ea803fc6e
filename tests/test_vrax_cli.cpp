// The `vrax` command run as a user runs it: pipes, several files, existing outputs, suffixes,
// terminals, signals, and the permissions and times its outputs take.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "program_runner.h"

namespace vrax::test {
namespace {

const std::string VRAX = program_path("vrax");

// How a child's standard streams are set up; an empty path keeps the stream as inherited.
struct Streams {
    std::string in = "/dev/null";
    std::string out;
    std::string err;
    int in_fd = -1;  // used instead of `in` when set
};

// Replaces this (child) process with `vrax args...` in `cwd`; the fatal signals start at their
// default action, whatever the test runner set.
[[noreturn]] void exec_vrax(const fs::path& cwd, const std::vector<std::string>& args,
                            const Streams& s) {
    std::vector<std::string> argv{VRAX};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> c_argv;
    for (std::string& a : argv) c_argv.push_back(a.data());
    c_argv.push_back(nullptr);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(sig, SIG_DFL);
    auto redirect = [](const std::string& path, int flags, int fd) {
        if (path.empty()) return;
        const int opened = open(path.c_str(), flags, 0600);
        if (opened < 0 || dup2(opened, fd) < 0) _exit(126);
    };
    if (s.in_fd >= 0)
        dup2(s.in_fd, 0);
    else
        redirect(s.in, O_RDONLY, 0);
    redirect(s.out, O_WRONLY | O_CREAT | O_TRUNC, 1);
    redirect(s.err, O_WRONLY | O_CREAT | O_TRUNC, 2);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    execv(c_argv[0], c_argv.data());
    _exit(127);
}

pid_t start_vrax(const fs::path& cwd, const std::vector<std::string>& args, const Streams& s) {
    const pid_t pid = fork();
    if (pid == 0) exec_vrax(cwd, args, s);
    return pid;
}

int wait_status(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs vrax in `cwd` with standard input from `in` and the two outputs captured.
RunResult run_vrax(const fs::path& cwd, const std::vector<std::string>& args,
                   const std::string& in = "/dev/null") {
    ScratchDir capture;
    RunResult r;
    r.status = wait_status(start_vrax(cwd, args, {in, capture / "out", capture / "err"}));
    r.out = read_text(capture / "out");
    r.err = read_text(capture / "err");
    return r;
}

// Every file a case starts with: two inputs, the stream of the first (as vrax3a writes it), that
// stream under a name with no format suffix, and the stream cut short.
class Fixture {
public:
    Fixture() {
        write_file(dir / "a", generate(Shape::text, 40000, 1));
        write_file(dir / "b", generate(Shape::binary_mix, 30000, 2));
        EXPECT_EQ(run_program("vrax3a", {"c", dir / "a", dir / "p.vrax3a"}).status, 0);
        const Bytes stream = read_file(dir / "p.vrax3a");
        write_file(dir / "p.bin", stream);
        write_file(dir / "cut.vrax3a", Bytes(stream.begin(), stream.end() - 1));
    }
    ScratchDir dir;
};

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

// One run of vrax in a fresh fixture directory.
struct Case {
    const char* what;
    const char* command;  // the arguments; "<FILE" puts a fixture file on standard input
    int status;
    const char* err;  // standard error contains this; "" means it is empty
    // What the files hold afterwards, as "NAME=X": X is the fixture file whose starting bytes NAME
    // must hold, "-" that NAME must not exist, "*" that it must. "(stdout)" names standard output,
    // which is otherwise empty.
    const char* files;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

const Case CASES[] = {
    {"SeveralFilesOneMissing", "a missing b", 1, "vrax: missing: No such file or directory\n",
     "a.vrax3a=p.vrax3a b.vrax3a=* a=a missing.vrax3a=-"},
    {"ExistingOutputIsKept", "-o b a", 1, "vrax: b: already exists", "b=b"},
    {"ForceOverwrites", "-f -o b a", 0, "", "b=p.vrax3a"},
    {"RmRemovesTheSource", "--rm a", 0, "", "a=- a.vrax3a=p.vrax3a"},
    {"RmKeepsTheSourceOnFailure", "--rm -o b a", 1, "already exists", "a=a b=b"},
    {"StdoutKeepsTheSource", "-c --rm a", 0, "", "a=a a.vrax3a=- (stdout)=p.vrax3a"},
    {"SuffixNamesTheFormat", "-d p.vrax3a", 0, "", "p=a p.vrax3a=p.vrax3a"},
    {"NoSuffixNeedsFormat", "-d p.bin", 1, "vrax: p.bin: no format suffix", "p=-"},
    {"FormatAndOutputNamed", "-d -F vrax3a -o out p.bin", 0, "", "out=a"},
    {"LargerBlocksOfTheSameAlgorithm", "-d -F vrax3a-16m p.vrax3a", 0, "", "p=a"},
    {"CompressingAStreamAgainNeedsForce", "p.vrax3a", 1, "already has a format suffix",
     "p.vrax3a.vrax3a=-"},
    {"TestAcceptsAGoodStream", "-t p.vrax3a", 0, "", ""},
    {"TestRefusesATruncatedStream", "-t p.vrax3a cut.vrax3a", 1, "vrax: cut.vrax3a: ", ""},
    {"TruncatedStreamLeavesNoOutput", "-d cut.vrax3a", 1, "vrax: cut.vrax3a: ", "cut=-"},
    {"NeverWritesOverTheInput", "-d -f -F vrax3a -o p.bin p.bin", 1,
     "vrax: p.bin: input and output are the same file", "p.bin=p.vrax3a"},
    {"StdinNeedsFormatToDecompress", "-d <p.vrax3a", 1, "vrax: (stdin): ", ""},
    {"StdinWithFormat", "-d -F vrax3a <p.vrax3a", 0, "", "(stdout)=a"},
    {"StdinToANamedOutput", "-o c.vrax3a - <a", 0, "", "c.vrax3a=p.vrax3a"},
    {"UnknownFormat", "-F vrax4 a", 1, "vrax: --format: 'vrax4'", "a.vrax4=-"},
    {"OutputNamesOneInput", "-o x a b", 1, "vrax: -o: ", "x=-"},
    {"DevicesAreWrittenInPlace", "-o /dev/null a", 0, "", ""},
    {"WriteErrorsAreReported", "-f -o /dev/full a", 1, "vrax: /dev/full: write error", ""},
};

class Cli : public ::testing::TestWithParam<Case> {};

TEST_P(Cli, RunsAsDescribed) {
    const Case& c = GetParam();
    Fixture f;
    std::map<std::string, Bytes> start;
    for (const char* name : {"a", "b", "p.vrax3a", "p.bin", "cut.vrax3a"})
        start[name] = read_file(f.dir / name);
    std::vector<std::string> args = words(c.command);
    std::string in = "/dev/null";
    if (args.back()[0] == '<') {
        in = f.dir / args.back().substr(1);
        args.pop_back();
    }
    const RunResult r = run_vrax(f.dir.path(), args, in);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (*c.err == '\0')
        EXPECT_EQ(r.err, "");
    else
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    bool stdout_checked = false;
    for (const std::string& check : words(c.files)) {
        const std::string name = check.substr(0, check.find('='));
        const std::string expected = check.substr(name.size() + 1);
        if (name == "(stdout)") {
            stdout_checked = true;
            EXPECT_EQ(ascii(r.out), start.at(expected)) << r.out.size() << " bytes on stdout";
        } else if (expected == "-" || expected == "*") {
            EXPECT_EQ(fs::exists(f.dir / name), expected == "*") << name;
        } else {
            EXPECT_EQ(read_file(f.dir / name), start.at(expected)) << name;
        }
    }
    if (!stdout_checked) {
        EXPECT_EQ(r.out, "");
    }
    EXPECT_TRUE(fs::is_character_file("/dev/full") && fs::is_character_file("/dev/null"));
    // No temporary output is left behind, whatever happened.
    for (const auto& entry : fs::directory_iterator(f.dir.path()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

INSTANTIATE_TEST_SUITE_P(Table, Cli, ::testing::ValuesIn(CASES),
                         [](const auto& info) { return std::string(info.param.what); });

// The stream equals the program's for every format and thread count, through pipes both ways.
class CliFormats : public ::testing::TestWithParam<ProgramDefinition> {};

TEST_P(CliFormats, PipesMatchTheProgramForEveryThreadCount) {
    const std::string format = GetParam().name;
    ScratchDir dir;
    // Three blocks of the small formats, one and a half of the 1 MiB ones.
    const std::size_t size = std::min<std::size_t>(3 * GetParam().block_size - 100, 1600000);
    write_file(dir / "in", generate(Shape::binary_mix, size, 7));
    ASSERT_EQ(run_program(format, {"c", dir / "in", dir / "expected"}).status, 0);
    for (const char* threads : {"1", "3"}) {
        const std::string pipeline = "cat in | '" + VRAX + "' -F " + format + " -T " + threads +
                                     " | cat > packed && cat packed | '" + VRAX + "' -d -F " +
                                     format + " -T " + threads + " | cat > back";
        RunResult r = run({"/bin/sh", "-c", "cd '" + dir.path().string() + "' && " + pipeline});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(read_file(dir / "packed"), read_file(dir / "expected")) << threads << " threads";
        EXPECT_EQ(read_file(dir / "back"), read_file(dir / "in")) << threads << " threads";
    }
}

INSTANTIATE_TEST_SUITE_P(All, CliFormats, ::testing::ValuesIn(programs_under_test()),
                         [](const auto& info) { return test_name_of(info.param.name); });

TEST(CliList, PrintsOneLinePerFileUnderOneHeader) {
    Fixture f;
    write_file(f.dir / "big", generate(Shape::text, 150000, 3));
    ASSERT_EQ(run_program("vrax3-64k", {"c", f.dir / "big", f.dir / "big.vrax3-64k"}).status, 0);
    const RunResult r = run_vrax(f.dir.path(), {"-l", "p.vrax3a", "big.vrax3-64k"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string expected = "format records compressed original ratio name";
    for (const auto& [format, records, original, name] :
         {std::tuple{"vrax3a", 1, 40000, "p.vrax3a"},
          std::tuple{"vrax3-64k", 3, 150000, "big.vrax3-64k"}}) {
        const auto packed = fs::file_size(f.dir / name);
        char line[128];
        std::snprintf(line, sizeof line, " %s %d %ju %d %.2f%% %s", format, records,
                      std::uintmax_t(packed), original, 100.0 * double(packed) / original, name);
        expected += line;
    }
    EXPECT_EQ(words(r.out), words(expected)) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << r.out;
}

// An output takes its source's permission bits and modification time, in both directions.
TEST(CliOutputs, KeepPermissionsAndModificationTime) {
    Fixture f;
    const struct {
        std::vector<std::string> args;
        const char* source;
        const char* output;
        fs::perms mode;
    } rows[] = {
        {{"a"}, "a", "a.vrax3a", fs::perms(0640)},
        {{"-d", "p.vrax3a"}, "p.vrax3a", "p", fs::perms(0604)},
    };
    for (const auto& row : rows) {
        const fs::path source = f.dir / row.source;
        fs::permissions(source, row.mode);
        const timespec times[2] = {{1000000000, 0}, {981173106, 123456789}};
        ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
        ASSERT_EQ(run_vrax(f.dir.path(), row.args).status, 0) << row.output;
        struct stat out;
        ASSERT_EQ(stat((f.dir / row.output).c_str(), &out), 0) << row.output;
        EXPECT_EQ(out.st_mode & 07777, unsigned(row.mode)) << row.output;
        EXPECT_EQ(out.st_mtim.tv_sec, times[1].tv_sec) << row.output;
        EXPECT_EQ(out.st_mtim.tv_nsec, times[1].tv_nsec) << row.output;
    }
}

// Feeds `count` bytes of text into a pipe; false once the reader has gone.
bool feed(int fd, std::size_t count, std::uint32_t seed) {
    const Bytes data = generate(Shape::text, count, seed);
    for (std::size_t done = 0; done < data.size();) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

// A fatal signal in the middle of a job removes the partial output and ends vrax by that signal.
TEST(CliSignals, RemoveThePartialOutput) {
    signal(SIGPIPE, SIG_IGN);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        ScratchDir dir;
        int pipe_fds[2];
        ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
        Streams streams;
        streams.in_fd = pipe_fds[0];
        const pid_t pid = start_vrax(dir.path(), {"-F", "vrax3-64k", "-o", "out"}, streams);
        close(pipe_fds[0]);
        // The job never ends on its own: its input stays open. Wait for records in the output.
        bool written = false;
        for (int tries = 0; tries < 500 && !written; ++tries) {
            feed(pipe_fds[1], 200000, tries);
            for (const auto& entry : fs::directory_iterator(dir.path()))
                written = written || entry.file_size() > 0;
        }
        EXPECT_TRUE(written) << strsignal(sig);
        kill(pid, sig);
        int status = 0;
        waitpid(pid, &status, 0);
        close(pipe_fds[1]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << strsignal(sig);
        EXPECT_TRUE(fs::is_empty(dir.path())) << strsignal(sig);
    }
    signal(SIGPIPE, SIG_DFL);
}

// Runs vrax with a new pseudo-terminal as its standard input, output and error, except the
// streams that `s` sends elsewhere, while `feed` runs. Returns the exit status and everything the
// terminal received.
std::pair<int, std::string> run_on_terminal(const fs::path& cwd,
                                            const std::vector<std::string>& args, const Streams& s,
                                            const std::function<void()>& while_running = {}) {
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) exec_vrax(cwd, args, s);
    if (while_running) while_running();
    std::string seen;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;)
        seen.append(buffer, std::size_t(n));
    // Closing the master hangs the terminal up, which would send SIGHUP to a child that has let
    // go of it (standard streams all elsewhere) but is still running.
    const int status = wait_status(pid);
    close(master);
    return {status, seen};
}

TEST(CliTerminal, CompressedDataIsNeitherWrittenToNorReadFromATerminalUnlessForced) {
    Fixture f;
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } rows[] = {
        {{"-c", "a"}, 1, "vrax: (stdout): compressed data is not written to a terminal"},
        {{"a", "-c", "-f"}, 0, ""},
        {{"-d", "-F", "vrax3a"}, 1, "vrax: (stdin): compressed data is not read from a terminal"},
        {{"-t", "-F", "vrax3a"}, 1, "vrax: (stdin): compressed data is not read from a terminal"},
    };
    for (const auto& row : rows) {
        Streams on_terminal;
        on_terminal.in = "";
        const auto [status, seen] = run_on_terminal(f.dir.path(), row.args, on_terminal);
        EXPECT_EQ(status, row.status) << row.args[0] << ": " << seen;
        EXPECT_NE(seen.find(row.message), std::string::npos) << row.args[0] << ": " << seen;
    }
}

// A job that lasts more than a second shows a progress line on a terminal, and nothing when
// standard error is a file.
TEST(CliTerminal, ProgressLineOnlyOnATerminal) {
    signal(SIGPIPE, SIG_IGN);
    for (const bool stderr_on_terminal : {true, false}) {
        ScratchDir dir;
        int pipe_fds[2];
        ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
        Streams s;
        s.in_fd = pipe_fds[0];
        s.out = dir / "packed";
        if (!stderr_on_terminal) s.err = dir / "err";
        const auto [status, seen] =
            run_on_terminal(dir.path(), {"-F", "vrax3-64k", "-T", "1"}, s, [&] {
                close(pipe_fds[0]);
                feed(pipe_fds[1], 1000000, 1);
                std::this_thread::sleep_for(std::chrono::milliseconds(1200));
                feed(pipe_fds[1], 1000000, 2);
                close(pipe_fds[1]);
            });
        EXPECT_EQ(status, 0) << seen;
        if (stderr_on_terminal) {
            EXPECT_NE(seen.find("MB/s"), std::string::npos) << seen;
        } else {
            EXPECT_EQ(seen, "");
            EXPECT_EQ(read_text(dir / "err"), "");
        }
    }
    signal(SIGPIPE, SIG_DFL);
}

}  // namespace
}  // namespace vrax::test
