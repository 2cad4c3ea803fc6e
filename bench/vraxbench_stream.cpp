// vraxbench-stream: file-to-file wall-clock speed of libvrax's stream engine at 1 and 2 threads
// beside the program of the same format, in one run, with interleaved rounds (program, 1 thread,
// 2 threads, again) and the best time of each kept. Checks that every stream is the program's
// and that every output decodes to the input.
//
//   vraxbench-stream [-r ROUNDS] [-b PROGRAM_DIR] FILE [FORMAT...]
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "vrax.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string directory_of(const char* path) {
    const std::string p = path;
    const std::size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

std::vector<char> read_all(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), {});
}

// Seconds that `program mode in out` takes, or a negative value if it fails.
double time_program(const std::string& program, const char* mode, const std::string& in,
                    const std::string& out) {
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(program.c_str(), program.c_str(), mode, in.c_str(), out.c_str(), (char*)nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// Seconds that the engine takes from file to file, opening and closing both as a program does.
double time_engine(const char* format, bool compress, unsigned threads, const std::string& in,
                   const std::string& out) {
    const auto start = Clock::now();
    const int in_fd = open(in.c_str(), O_RDONLY);
    const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const vrax_stream_options options{threads, 0, nullptr, nullptr};
    const std::size_t r = compress ? vrax_compress_fd(format, in_fd, out_fd, &options, nullptr)
                                   : vrax_decompress_fd(format, in_fd, out_fd, &options, nullptr);
    close(in_fd);
    close(out_fd);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (vrax_is_error(r)) {
        std::fprintf(stderr, "%s: %s\n", format, vrax_error_string(r));
        return -1;
    }
    return seconds;
}

struct Best {
    double seconds[3] = {1e30, 1e30, 1e30};  // program, 1 thread, 2 threads
    void keep(int k, double s) {
        if (s < 0) {
            std::fprintf(stderr, "a run failed\n");
            std::exit(1);
        }
        seconds[k] = std::min(seconds[k], s);
    }
};

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    std::string bin_dir = directory_of(argv[0]);
    int opt;
    while ((opt = getopt(argc, argv, "r:b:h")) != -1) {
        if (opt == 'r') rounds = std::max(1, std::atoi(optarg));
        else if (opt == 'b') bin_dir = optarg;
        else {
            std::fprintf(stderr, "usage: %s [-r ROUNDS] [-b PROGRAM_DIR] FILE [FORMAT...]\n", argv[0]);
            return opt == 'h' ? 0 : 1;
        }
    }
    if (optind >= argc) {
        std::fprintf(stderr, "usage: %s [-r ROUNDS] [-b PROGRAM_DIR] FILE [FORMAT...]\n", argv[0]);
        return 1;
    }
    const std::string file = argv[optind];
    std::vector<std::string> formats(argv + optind + 1, argv + argc);
    if (formats.empty())
        for (unsigned i = 0; vrax_format_name(i) != nullptr; ++i) formats.push_back(vrax_format_name(i));

    const std::vector<char> input = read_all(file);
    const double mb = double(input.size()) / 1e6;
    // The outputs go to TMPDIR (default /tmp); a tmpfs there keeps the disk out of the timings.
    const char* tmp = std::getenv("TMPDIR");
    std::string scratch = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                          "/vraxbench-stream-XXXXXX";
    if (mkdtemp(scratch.data()) == nullptr) {
        std::perror(scratch.c_str());
        return 1;
    }
    const std::string program_stream = scratch + "/program.stream";
    const std::string engine_stream = scratch + "/engine.stream";
    const std::string decoded = scratch + "/decoded";

    std::printf("%s: %.1f MB, best of %d interleaved rounds; MB/s of input\n", file.c_str(), mb,
                rounds);
    std::printf("%-12s | %9s %9s %9s %6s %6s | %9s %9s %9s %6s %6s\n", "format", "c program",
                "c 1T", "c 2T", "2T/1T", "1T/pr", "d program", "d 1T", "d 2T", "2T/1T", "1T/pr");
    for (const std::string& format : formats) {
        const std::string program = bin_dir + "/" + format;
        Best c, d;
        for (int round = 0; round < rounds; ++round) {
            c.keep(0, time_program(program, "c", file, program_stream));
            c.keep(1, time_engine(format.c_str(), true, 1, file, engine_stream));
            c.keep(2, time_engine(format.c_str(), true, 2, file, engine_stream));
        }
        if (read_all(engine_stream) != read_all(program_stream)) {
            std::fprintf(stderr, "%s: the engine's stream differs from the program's\n", format.c_str());
            return 1;
        }
        for (int round = 0; round < rounds; ++round) {
            d.keep(0, time_program(program, "d", program_stream, decoded));
            d.keep(1, time_engine(format.c_str(), false, 1, program_stream, decoded));
            d.keep(2, time_engine(format.c_str(), false, 2, program_stream, decoded));
        }
        if (read_all(decoded) != input) {
            std::fprintf(stderr, "%s: decoding does not give the input back\n", format.c_str());
            return 1;
        }
        auto speed = [mb](const Best& b, int k) { return mb / b.seconds[k]; };
        std::printf("%-12s | %9.0f %9.0f %9.0f %6.2f %6.2f | %9.0f %9.0f %9.0f %6.2f %6.2f\n",
                    format.c_str(), speed(c, 0), speed(c, 1), speed(c, 2),
                    c.seconds[1] / c.seconds[2], c.seconds[0] / c.seconds[1], speed(d, 0),
                    speed(d, 1), speed(d, 2), d.seconds[1] / d.seconds[2],
                    d.seconds[0] / d.seconds[1]);
        std::fflush(stdout);
    }
    for (const std::string& path : {program_stream, engine_stream, decoded}) std::remove(path.c_str());
    rmdir(scratch.c_str());
    return 0;
}
