// `vrax`: compresses, restores, tests and lists stream files in the manner of gzip, zstd and lz4,
// as a client of libvrax's public interface. Every failure prints "vrax: FILE: reason" and the
// run goes on with the next file; the exit status is 1 if any file failed.
#include "vrax.h"

#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli_files.h"
#include "cli_options.h"
#include "cli_progress.h"

namespace vrax::cli {
namespace {

bool report(const std::string& name, const std::string& reason) {
    std::fprintf(stderr, "vrax: %s: %s\n", name.c_str(), reason.c_str());
    return false;
}

ptrdiff_t read_fd(void* context, void* buffer, std::size_t capacity) {
    for (;;) {
        const ssize_t n = read(*static_cast<const int*>(context), buffer, capacity);
        if (n >= 0 || errno != EINTR) return n;
    }
}

int discard(void*, const void*, std::size_t) {
    return 0;
}

// The ratio as the README's tables give it: compressed size as a percentage of the original.
std::string ratio_text(std::uint64_t compressed, std::uint64_t original) {
    if (original == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f%%", 100.0 * double(compressed) / double(original));
    return text;
}

class Command {
public:
    explicit Command(const Options& options) : o_(options) {}

    // Runs the mode on one operand. False when it failed (the message is printed).
    bool process(const std::string& path);

private:
    bool writes_stdout(const std::string& path) const {
        return o_.to_stdout || o_.output == "-" || (path == "-" && o_.output.empty());
    }
    std::string format_of(const InputFile& in) const;
    std::string output_name(const InputFile& in, const std::string& format) const;
    bool run_library(const InputFile& in, const std::string& format, int out_fd,
                     const std::string& out_name, vrax_stream_stats& stats);
    void print_list_line(const InputFile& in, const std::string& format,
                         const vrax_stream_stats& stats);

    const Options& o_;
    bool list_header_printed_ = false;
};

// The format to read `in` in: --format, else the file's suffix. "" after a message when neither
// tells: the stream has no format marker, and a guess could decode garbage without an error.
std::string Command::format_of(const InputFile& in) const {
    if (o_.mode == Mode::compress) return o_.format.empty() ? DEFAULT_FORMAT : o_.format;
    if (!o_.format.empty()) return o_.format;
    if (in.is_stdin()) {
        report(in.name(), "a stream does not record its format; name it with --format");
        return "";
    }
    std::string format = format_suffix(in.name());
    if (format.empty())
        report(in.name(), "no format suffix (.vrax3a and the like); name the format with --format");
    return format;
}

// The output file for `in`: -o, else FILE.FORMAT when compressing, else FILE less its format
// suffix. "" after a message when there is none.
std::string Command::output_name(const InputFile& in, const std::string& format) const {
    if (!o_.output.empty()) return o_.output;
    if (o_.mode == Mode::compress) {
        if (!o_.force && !format_suffix(in.name()).empty()) {
            report(in.name(),
                   "already has a format suffix; nothing done (use -f to compress it "
                   "again)");
            return "";
        }
        return in.name() + "." + format;
    }
    const std::string suffix = format_suffix(in.name());
    if (suffix.empty()) {
        report(in.name(), "no format suffix to remove; name the output with -o or use -c");
        return "";
    }
    return in.name().substr(0, in.name().size() - suffix.size() - 1);
}

bool Command::run_library(const InputFile& in, const std::string& format, int out_fd,
                          const std::string& out_name, vrax_stream_stats& stats) {
    const bool compressing = o_.mode == Mode::compress;
    const struct stat* file = in.regular_file();
    ProgressLine progress(o_.verbosity > 0 && isatty(STDERR_FILENO) == 1, in.name(), compressing,
                          file != nullptr ? std::uint64_t(file->st_size) : 0);
    vrax_stream_options options{};
    options.threads = o_.threads;
    options.flags = compressing && o_.verify ? VRAX_FLAG_VERIFY : 0;
    options.progress = &ProgressLine::update;
    options.progress_context = &progress;
    int in_fd = in.fd();
    std::size_t result = 0;
    if (compressing)
        result = vrax_compress_fd(format.c_str(), in_fd, out_fd, &options, &stats);
    else if (out_fd >= 0)
        result = vrax_decompress_fd(format.c_str(), in_fd, out_fd, &options, &stats);
    else
        result = vrax_decompress_stream(format.c_str(), read_fd, &in_fd, discard, nullptr, &options,
                                        &stats);
    progress.clear();
    if (!vrax_is_error(result)) return true;
    const bool output_side = vrax_get_error_code(result) == VRAX_ERROR_WRITE;
    return report(output_side ? out_name : in.name(), vrax_error_string(result));
}

void Command::print_list_line(const InputFile& in, const std::string& format,
                              const vrax_stream_stats& stats) {
    if (!list_header_printed_ && o_.verbosity > 0)
        std::printf("%-11s %8s %14s %14s %8s  %s\n", "format", "records", "compressed", "original",
                    "ratio", "name");
    list_header_printed_ = true;
    std::printf("%-11s %8" PRIu64 " %14" PRIu64 " %14" PRIu64 " %8s  %s\n", format.c_str(),
                stats.records, stats.bytes_read, stats.bytes_written,
                ratio_text(stats.bytes_read, stats.bytes_written).c_str(), in.name().c_str());
}

bool Command::process(const std::string& path) {
    const bool compressing = o_.mode == Mode::compress;
    const bool has_output = compressing || o_.mode == Mode::decompress;
    const bool to_stdout = has_output && writes_stdout(path);
    if (compressing && to_stdout && !o_.force && isatty(STDOUT_FILENO) == 1)
        return report(STDOUT_NAME,
                      "compressed data is not written to a terminal (use -f to force)");
    if (!compressing && path == "-" && !o_.force && isatty(STDIN_FILENO) == 1)
        return report(STDIN_NAME, "compressed data is not read from a terminal (use -f to force)");

    InputFile in;
    if (std::string reason = in.open(path); !reason.empty()) return report(in.name(), reason);
    const std::string format = format_of(in);
    if (format.empty()) return false;

    vrax_stream_stats stats{};
    if (!has_output) {
        if (!run_library(in, format, -1, "", stats)) return false;
        if (o_.mode == Mode::list) print_list_line(in, format, stats);
        if (o_.mode == Mode::test && o_.verbosity > 1) report(in.name(), "OK");
        return true;
    }

    std::string out_name = STDOUT_NAME;
    OutputFile out;
    if (!to_stdout) {
        out_name = output_name(in, format);
        if (out_name.empty()) return false;
        if (in.is_same_file_as(out_name))
            return report(out_name, "input and output are the same file; nothing done");
        struct stat existing;
        if (!o_.force && lstat(out_name.c_str(), &existing) == 0 && !is_written_in_place(out_name))
            return report(out_name, "already exists; not overwritten (use -f to overwrite)");
        if (!out.create(out_name)) return report(out_name, std::strerror(errno));
    }
    if (!run_library(in, format, to_stdout ? STDOUT_FILENO : out.fd(), out_name, stats))
        return false;  // `out` removes the partial output
    if (!to_stdout && !out.commit(in.regular_file(), o_.force))
        return report(out_name, errno == EEXIST ? "appeared while it was written; not overwritten"
                                                : std::strerror(errno));

    if (o_.verbosity > 1) {
        const std::uint64_t original = compressing ? stats.bytes_read : stats.bytes_written;
        const std::uint64_t packed = compressing ? stats.bytes_written : stats.bytes_read;
        report(in.name(), ratio_text(packed, original) + " (" + std::to_string(original) + " => " +
                              std::to_string(packed) + " bytes, " + out_name + ")");
    }
    // The source goes only once its output is safely in place, and only a regular file that
    // was not written to standard output.
    const bool remove = o_.remove_source && !to_stdout && in.regular_file() != nullptr;
    if (remove && unlink(path.c_str()) != 0)
        return report(in.name(), std::string("not removed: ") + std::strerror(errno));
    return true;
}

}  // namespace
}  // namespace vrax::cli

int main(int argc, char** argv) {
    using namespace vrax::cli;
    ParsedCommandLine parsed = parse_command_line(argc, argv);
    if (parsed.exit_status) return *parsed.exit_status;
    install_signal_handlers();
    Command command(parsed.options);
    bool ok = true;
    for (const std::string& path : parsed.options.files) ok = command.process(path) && ok;
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        ok = report(STDOUT_NAME, std::strerror(errno));
    return ok ? 0 : 1;
}
