// vraxbench: compresses and decompresses files in memory with every VRAX configuration and the
// peer compressors, checks each round trip, and reports ratio and speed per file and in total.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_coder.h"
#include "bench_plot.h"
#include "bench_report.h"
#include "codec.h"

namespace vrax::bench {
namespace {

constexpr const char* USAGE =
    "Usage: vraxbench [options] FILE...\n"
    "Compresses and decompresses each FILE in memory, block by block, with every configuration,\n"
    "checks that the bytes come back, and prints ratio (compressed size incl. 4-byte record\n"
    "headers / input, %) and speed (MB/s = 10^6 input bytes per second, best repetition).\n"
    "VRAX configurations use their programs' block sizes; the peer libraries code independent\n"
    "1 MiB blocks.\n"
    "\n"
    "Options:\n"
    "  --cpu-time          time with the CPU time of the measuring thread instead of the wall\n"
    "                      clock, which leaves out other processes on a shared machine\n"
    "  --min-time SECONDS  time spent on each direction of each configuration and file, at\n"
    "                      least two repetitions (default 0.5)\n"
    "  --rounds N          measure every configuration and file N times in turn, each round\n"
    "                      taking min-time / N, and keep the best of the rounds: a burst of\n"
    "                      load on a shared machine then meets one round, not one\n"
    "                      configuration (default 1)\n"
    "  --only NAME[,NAME]  run only these configurations (see --list)\n"
    "  --csv FILE          write one row per configuration for all files together\n"
    "  --plot FILE         draw ratio against speed with gnuplot (.png, otherwise SVG)\n"
    "  --list              print the configurations and peer library versions, then exit\n"
    "  --help              print this text\n";

struct Options {
    double min_time = 0.5;
    unsigned rounds = 1;
    bool cpu_time = false;
    std::vector<std::string> only;
    std::string csv_path;
    std::string plot_path;
    bool list = false;
    std::vector<std::string> files;
};

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<std::string> split_names(const std::string& text) {
    std::vector<std::string> names;
    std::stringstream stream(text);
    for (std::string name; std::getline(stream, name, ',');)
        if (!name.empty()) names.push_back(name);
    return names;
}

Options parse_options(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw Failure(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(USAGE, stdout);
            std::exit(0);
        } else if (arg == "--cpu-time") {
            o.cpu_time = true;
        } else if (arg == "--min-time") {
            const std::string text = value();
            char* end = nullptr;
            o.min_time = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || !(o.min_time >= 0))
                throw Failure("--min-time wants a number of seconds, not " + text);
        } else if (arg == "--rounds") {
            const std::string text = value();
            char* end = nullptr;
            const unsigned long rounds = std::strtoul(text.c_str(), &end, 10);
            if (end == text.c_str() || *end != '\0' || rounds < 1 || rounds > 1000)
                throw Failure("--rounds wants a whole number from 1 to 1000, not " + text);
            o.rounds = unsigned(rounds);
        } else if (arg == "--only") {
            for (std::string& name : split_names(value())) o.only.push_back(std::move(name));
        } else if (arg == "--csv") {
            o.csv_path = value();
        } else if (arg == "--plot") {
            o.plot_path = value();
        } else if (arg == "--list") {
            o.list = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw Failure("unknown option " + arg + " (see --help)");
        } else {
            o.files.push_back(arg);
        }
    }
    if (o.files.empty() && !o.list) throw Failure("no input files (see --help)");
    return o;
}

// An input file held in memory, followed by zero bytes up to the slack that the driver's input
// buffer has behind every block.
struct Input {
    std::string name;  // the path's last component
    std::vector<std::uint8_t> bytes;
    std::size_t size = 0;
};

Input read_input(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw Failure(path + ": " + std::strerror(errno));
    Input input;
    try {
        input.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        file.setstate(std::ios::badbit);  // a directory, or a read error
    }
    if (file.bad()) throw Failure(path + ": cannot read");
    input.size = input.bytes.size();
    input.bytes.resize(input.size + BLOCK_SLACK);
    const std::size_t slash = path.find_last_of('/');
    input.name = slash == std::string::npos ? path : path.substr(slash + 1);
    return input;
}

// Every configuration, or those named by --only, in the order of the tables.
std::vector<std::unique_ptr<BlockCoder>> chosen_coders(const std::vector<std::string>& only) {
    std::vector<std::unique_ptr<BlockCoder>> all = vrax_coders();
    for (auto& peer : peer_coders()) all.push_back(std::move(peer));
    if (only.empty()) return all;
    for (const std::string& name : only) {
        if (std::none_of(all.begin(), all.end(),
                         [&](const auto& coder) { return coder->name() == name; })) {
            std::string known;
            for (const auto& coder : all) known += " " + coder->name();
            throw Failure("no configuration " + name + "; there are:" + known);
        }
    }
    std::vector<std::unique_ptr<BlockCoder>> chosen;
    for (auto& coder : all)
        if (std::find(only.begin(), only.end(), coder->name()) != only.end())
            chosen.push_back(std::move(coder));
    return chosen;
}

// One line on standard error that is rewritten as the run goes on, only on a terminal. It is
// blanked again when the run ends, also by a failure.
class Progress {
public:
    Progress() : enabled_(isatty(STDERR_FILENO) != 0) {}
    ~Progress() { clear(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void show(const std::string& text) {
        if (!enabled_) return;
        std::fprintf(stderr, "\r%-78.78s", text.c_str());
        std::fflush(stderr);
    }
    void clear() {
        if (!enabled_) return;
        show("");
        std::fputs("\r", stderr);
        std::fflush(stderr);
    }

private:
    bool enabled_;
};

// Seconds on the chosen clock: the wall clock, or the CPU time of this thread.
double now_seconds(bool cpu_time) {
    if (cpu_time) {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The best time of `pass` over repetitions that last at least min_time together.
template <class Pass>
double best_time(double min_time, Pass pass) {
    double best = std::numeric_limits<double>::infinity();
    double elapsed = 0;
    unsigned repetitions = 0;
    do {
        const double t = pass();
        best = std::min(best, t);
        elapsed += t;
        ++repetitions;
    } while (want_another_repetition(repetitions, elapsed, min_time));
    return best;
}

// Compresses the input block by block into one buffer of records (a 4-byte big-endian length and
// the block), as the programs write a stream file, then decodes the records back and compares.
// Sources and destinations are the blocks' places in these buffers, so no pass copies data beyond
// what the coder itself writes.
Measurement measure(BlockCoder& coder, const Input& input, double min_time, bool cpu_time,
                    Progress& progress, const std::string& label) {
    const std::uint32_t block = coder.block_size();
    const std::uint64_t blocks = block_count(input.size, block);
    auto block_length = [&](std::uint64_t k) {
        return std::uint32_t(std::min<std::uint64_t>(block, input.size - k * block));
    };

    std::size_t stream_capacity = 0;
    for (std::uint64_t k = 0; k < blocks; ++k)
        stream_capacity += RECORD_HEADER_BYTES + coder.compress_capacity(block_length(k));
    const std::size_t decoded_capacity =
        blocks == 0 ? 0 : std::size_t(blocks - 1) * block + coder.decompress_capacity();
    // Left uninitialised, so that pages no block reaches are never touched.
    auto stream = std::make_unique_for_overwrite<std::uint8_t[]>(stream_capacity);
    auto decoded = std::make_unique_for_overwrite<std::uint8_t[]>(decoded_capacity);
    auto fail = [&](std::uint64_t k, const std::string& what) {
        return Failure(coder.name() + ": " + input.name + ": block " + std::to_string(k + 1) +
                       ": " + what);
    };

    std::size_t stream_size = 0;
    bool first_pass = true;
    progress.show(label + " compress");
    const double compress_seconds = best_time(min_time, [&] {
        coder.start_pass();
        const double start = now_seconds(cpu_time);
        std::size_t pos = 0;
        for (std::uint64_t k = 0; k < blocks; ++k) {
            const std::uint32_t n = block_length(k);
            const std::size_t capacity = coder.compress_capacity(n);
            std::size_t length = 0;
            if (!coder.compress(input.bytes.data() + k * block, n,
                                stream.get() + pos + RECORD_HEADER_BYTES, capacity, &length))
                throw fail(k, coder.message);
            if (length > capacity || length > 0xFFFFFFFF)
                throw fail(k, "compressed length beyond the destination");
            std::uint8_t* header = stream.get() + pos;
            header[0] = std::uint8_t(length >> 24);
            header[1] = std::uint8_t(length >> 16);
            header[2] = std::uint8_t(length >> 8);
            header[3] = std::uint8_t(length);
            pos += RECORD_HEADER_BYTES + length;
        }
        const double t = now_seconds(cpu_time) - start;
        if (!first_pass && pos != stream_size)
            throw Failure(coder.name() + ": " + input.name +
                          ": compressed size differs between repetitions");
        stream_size = pos;
        first_pass = false;
        return t;
    });

    progress.show(label + " decompress");
    const double decompress_seconds = best_time(min_time, [&] {
        coder.start_pass();
        const double start = now_seconds(cpu_time);
        std::size_t pos = 0;
        for (std::uint64_t k = 0; k < blocks; ++k) {
            const std::uint8_t* header = stream.get() + pos;
            const std::size_t length = std::size_t(header[0]) << 24 | std::size_t(header[1]) << 16 |
                                       std::size_t(header[2]) << 8 | header[3];
            const std::uint32_t n = block_length(k);
            std::size_t produced = 0;
            if (!coder.decompress(header + RECORD_HEADER_BYTES, length, decoded.get() + k * block,
                                  coder.decompress_capacity(), n, &produced))
                throw fail(k, coder.message);
            if (produced != n)
                throw fail(k, "decompressed to " + std::to_string(produced) + " bytes, not " +
                                  std::to_string(n));
            pos += RECORD_HEADER_BYTES + length;
        }
        return now_seconds(cpu_time) - start;
    });

    if (input.size != 0 && std::memcmp(decoded.get(), input.bytes.data(), input.size) != 0) {
        const std::uint8_t* original = input.bytes.data();
        const auto at = std::size_t(
            std::mismatch(original, original + input.size, decoded.get()).first - original);
        throw fail(std::uint64_t(at) / block,
                   "round trip differs at byte " + std::to_string(at) + " of the file");
    }

    Measurement m;
    m.input_bytes = input.size;
    m.compressed_bytes = stream_size;
    m.compress_seconds = compress_seconds;
    m.decompress_seconds = decompress_seconds;
    return m;
}

// Every configuration on every file, in that order, `rounds` times over, with the progress line on
// a terminal. Each round gives each direction min_time / rounds; a result keeps the best time of
// its rounds.
void measure_all(const std::vector<std::unique_ptr<BlockCoder>>& coders,
                 const std::vector<Input>& inputs, const Options& options,
                 std::vector<std::vector<Measurement>>& results) {
    Progress progress;
    const std::size_t runs = options.rounds * coders.size() * inputs.size();
    const double min_time = options.min_time / options.rounds;
    std::size_t done = 0;
    for (unsigned round = 0; round < options.rounds; ++round) {
        for (std::size_t c = 0; c < coders.size(); ++c) {
            for (std::size_t f = 0; f < inputs.size(); ++f) {
                char counter[48];
                std::snprintf(counter, sizeof counter, "[%zu/%zu] ", ++done, runs);
                const std::string label = counter + coders[c]->name() + " " + inputs[f].name;
                const Measurement m =
                    measure(*coders[c], inputs[f], min_time, options.cpu_time, progress, label);
                if (round == 0) {
                    results[c].push_back(m);
                    continue;
                }
                Measurement& best = results[c][f];
                if (m.compressed_bytes != best.compressed_bytes)
                    throw Failure(coders[c]->name() + ": " + inputs[f].name +
                                  ": compressed size differs between rounds");
                best.compress_seconds = std::min(best.compress_seconds, m.compress_seconds);
                best.decompress_seconds = std::min(best.decompress_seconds, m.decompress_seconds);
            }
        }
    }
}

// The aligned table on standard output: one group of rows per file, then the totals.
void print_table(const std::vector<std::unique_ptr<BlockCoder>>& coders,
                 const std::vector<Input>& inputs,
                 const std::vector<std::vector<Measurement>>& results) {
    std::size_t name_width = 4, file_width = 5;
    for (const auto& coder : coders) name_width = std::max(name_width, coder->name().size());
    for (const Input& input : inputs) file_width = std::max(file_width, input.name.size());
    const int nw = int(name_width), fw = int(file_width);

    std::printf("%-*s  %-*s  %8s  %13s  %13s  %7s  %10s  %10s\n", nw, "name", fw, "file", "block",
                "input bytes", "compressed", "ratio %", "comp MB/s", "dec MB/s");
    auto row = [&](const BlockCoder& coder, const std::string& file, const Measurement& m) {
        std::printf("%-*s  %-*s  %8s  %13llu  %13llu  %7s  %10s  %10s\n", nw, coder.name().c_str(),
                    fw, file.c_str(), block_size_text(coder.block_size()).c_str(),
                    static_cast<unsigned long long>(m.input_bytes),
                    static_cast<unsigned long long>(m.compressed_bytes),
                    fixed(ratio_percent(m.compressed_bytes, m.input_bytes), 2).c_str(),
                    fixed(mb_per_s(m.input_bytes, m.compress_seconds), 1).c_str(),
                    fixed(mb_per_s(m.input_bytes, m.decompress_seconds), 1).c_str());
    };
    for (std::size_t f = 0; f < inputs.size(); ++f) {
        if (f > 0) std::printf("\n");
        for (std::size_t c = 0; c < coders.size(); ++c)
            row(*coders[c], inputs[f].name, results[c][f]);
    }
    if (inputs.size() > 1) {
        std::printf("\n");
        for (std::size_t c = 0; c < coders.size(); ++c) row(*coders[c], "total", total(results[c]));
    }
}

void write_csv(const std::string& path, const std::vector<std::unique_ptr<BlockCoder>>& coders,
               const std::vector<std::vector<Measurement>>& results) {
    std::ofstream csv(path);
    csv << csv_header() << '\n';
    for (std::size_t c = 0; c < coders.size(); ++c)
        csv << csv_row(coders[c]->name(), coders[c]->block_size(), total(results[c])) << '\n';
    csv.close();
    if (!csv) throw Failure(path + ": cannot write");
}

void write_picture(const std::string& path, const std::vector<std::unique_ptr<BlockCoder>>& coders,
                   const std::vector<Input>& inputs,
                   const std::vector<std::vector<Measurement>>& results) {
    std::vector<PlotPoint> points;
    for (std::size_t c = 0; c < coders.size(); ++c) {
        const Measurement m = total(results[c]);
        points.push_back({coders[c]->name(), coders[c]->is_vrax(),
                          ratio_percent(m.compressed_bytes, m.input_bytes),
                          mb_per_s(m.input_bytes, m.compress_seconds),
                          mb_per_s(m.input_bytes, m.decompress_seconds)});
    }
    std::uint64_t bytes = 0;
    for (const Input& input : inputs) bytes += input.size;
    const std::string title = "vraxbench: " + std::to_string(inputs.size()) + " file(s), " +
                              fixed(double(bytes) / 1e6, 1) + " MB, single thread";
    std::string error;
    if (!write_plot(path, title, points, &error)) throw Failure(path + ": " + error);
}

int run(int argc, char** argv) {
    const Options options = parse_options(argc, argv);
    std::vector<std::unique_ptr<BlockCoder>> coders = chosen_coders(options.only);
    if (options.list) {
        for (const auto& coder : coders)
            std::printf("%-14s %s\n", coder->name().c_str(),
                        block_size_text(coder->block_size()).c_str());
        std::printf("\n%s", peer_versions().c_str());
        return 0;
    }

    std::vector<Input> inputs;
    for (const std::string& path : options.files) inputs.push_back(read_input(path));

    std::vector<std::vector<Measurement>> results(coders.size());
    measure_all(coders, inputs, options, results);

    print_table(coders, inputs, results);
    if (!options.csv_path.empty()) write_csv(options.csv_path, coders, results);
    if (!options.plot_path.empty()) write_picture(options.plot_path, coders, inputs, results);
    return 0;
}

}  // namespace
}  // namespace vrax::bench

int main(int argc, char** argv) {
    try {
        return vrax::bench::run(argc, argv);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "vraxbench: %s\n", e.what());
        return 1;
    }
}
