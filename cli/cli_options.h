// The command line of `vrax`: what the user asked for, parsed once before any file is touched.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vrax::cli {

enum class Mode { compress, decompress, test, list };

struct Options {
    Mode mode = Mode::compress;
    std::string format;              // -F; empty: vrax3a to compress, the file's suffix otherwise
    bool to_stdout = false;          // -c
    std::string output;              // -o; empty: named after the input
    bool remove_source = false;      // --rm (-k, the default, clears it)
    bool force = false;              // -f
    unsigned threads = 0;            // -T; 0: every online core
    int verbosity = 1;               // 0 with -q, 2 with -v
    bool verify = false;             // --verify
    std::vector<std::string> files;  // "-" is standard input; none means "-"
};

inline constexpr const char* DEFAULT_FORMAT = "vrax3a";
inline constexpr unsigned MAX_THREADS = 256;

// Parses argv. Returns the options to run with, or the exit status to end with at once: 0 after
// --help or --version, 1 after a message for a command line that makes no sense.
struct ParsedCommandLine {
    Options options;
    std::optional<int> exit_status;
};
ParsedCommandLine parse_command_line(int argc, char** argv);

// True when `name` is one of the nine format names.
bool is_format_name(const std::string& name);

// The format names, comma-separated, for messages.
std::string format_names();

}  // namespace vrax::cli
