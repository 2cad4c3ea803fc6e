// Runs a built program as a user would and captures what it prints, for the command-line tests.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "program_table.h"
#include "test_util.h"

namespace vrax {

// Program rows show as their names in test listings and failure reports.
inline void PrintTo(const ProgramDefinition& program, std::ostream* os) { *os << program.name; }

}  // namespace vrax

namespace vrax::test {

namespace fs = std::filesystem;

struct RunResult {
    int status = -1;  // exit status, or -1 if the program did not exit normally
    std::string out;  // standard output
    std::string err;  // standard error
};

inline std::string program_path(const std::string& name) { return std::string(VRAX_BIN_DIR) + "/" + name; }

inline std::string read_text(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline Bytes read_file(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

inline void write_file(const fs::path& path, const Bytes& data) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

// A fresh directory for one test, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "vrax-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Runs `argv` (argv[0] is the program path and also its invocation name) with standard input
// closed, capturing standard output and standard error.
inline RunResult run(const std::vector<std::string>& argv) {
    ScratchDir capture;
    const std::string out_path = capture / "stdout";
    const std::string err_path = capture / "stderr";
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    RunResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.out = read_text(out_path);
    result.err = read_text(err_path);
    return result;
}

// The programs that the tests run: all but vrax3a-256m, whose 512 MiB of static buffers make each
// start take seconds under the sanitizers (it shares vrax3a's codec and driver, and has tests of
// its own).
inline std::vector<ProgramDefinition> programs_under_test() {
    std::vector<ProgramDefinition> programs;
    for (const ProgramDefinition& program : PROGRAM_TABLE)
        if (std::string_view(program.name) != "vrax3a-256m") programs.push_back(program);
    return programs;
}

// A program's name as a gtest parameter name (which allows no '-').
inline std::string test_name_of(std::string program) {
    for (char& c : program)
        if (c == '-') c = '_';
    return program;
}

// Runs a built program by name with the given operands.
inline RunResult run_program(const std::string& name, const std::vector<std::string>& operands) {
    std::vector<std::string> argv{program_path(name)};
    argv.insert(argv.end(), operands.begin(), operands.end());
    return run(argv);
}

}  // namespace vrax::test
