// Option parsing for `vrax` (getopt_long, so options and files may come in any order and `--`
// ends the options), with the help and version texts.
#include "cli_options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vrax.h"

namespace vrax::cli {
namespace {

constexpr char HELP[] =
    "Usage: vrax [OPTION]... [FILE]...\n"
    "Compress each FILE into FILE.vrax3a (or FILE.NAME with --format=NAME), or restore it.\n"
    "With no FILE, or when FILE is -, read standard input and write standard output.\n"
    "\n"
    "Modes:\n"
    "  -z, --compress       compress (the default)\n"
    "  -d, --decompress     restore FILE from FILE.NAME\n"
    "  -t, --test           decode each FILE and discard the result\n"
    "  -l, --list           print format, records, compressed and original size, ratio\n"
    "\n"
    "Options:\n"
    "  -F, --format=NAME    the stream format (below); compression uses vrax3a unless told\n"
    "                       otherwise, the other modes take it from the suffix .NAME and\n"
    "                       need it for standard input\n"
    "  -c, --stdout         write to standard output and keep every FILE\n"
    "  -o, --output=FILE    name the output of the single input\n"
    "  -k, --keep           keep the source files (the default)\n"
    "      --rm             remove each source file once its output is complete\n"
    "  -f, --force          overwrite existing outputs; read or write compressed data on a\n"
    "                       terminal\n"
    "  -T, --threads=N      code blocks on N threads; 0 (the default) uses every core\n"
    "      --verify         decode every block after compressing it and compare it with\n"
    "                       the input before writing it\n"
    "  -v, --verbose        report each file's sizes and ratio\n"
    "  -q, --quiet          print no progress and no list header\n"
    "  -h, --help           print this help and exit\n"
    "  -V, --version        print the library version and exit\n"
    "\n"
    "The exit status is 0 when every FILE succeeded and 1 otherwise.\n"
    "\n"
    "Formats, with their block sizes:\n"
    "%s";

enum LongOnly { OPT_RM = 256, OPT_VERIFY };

constexpr char SHORT_OPTIONS[] = ":zdtlF:co:kfT:vqhV";
constexpr option LONG_OPTIONS[] = {
    {"compress", no_argument, nullptr, 'z'},
    {"decompress", no_argument, nullptr, 'd'},
    {"uncompress", no_argument, nullptr, 'd'},
    {"test", no_argument, nullptr, 't'},
    {"list", no_argument, nullptr, 'l'},
    {"format", required_argument, nullptr, 'F'},
    {"stdout", no_argument, nullptr, 'c'},
    {"to-stdout", no_argument, nullptr, 'c'},
    {"output", required_argument, nullptr, 'o'},
    {"keep", no_argument, nullptr, 'k'},
    {"rm", no_argument, nullptr, OPT_RM},
    {"force", no_argument, nullptr, 'f'},
    {"threads", required_argument, nullptr, 'T'},
    {"verify", no_argument, nullptr, OPT_VERIFY},
    {"verbose", no_argument, nullptr, 'v'},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// "vrax: OPTION: reason", and the status of a command line that makes no sense.
int bad_usage(const std::string& option, const std::string& reason) {
    std::fprintf(stderr, "vrax: %s: %s\nTry 'vrax --help' for more information.\n", option.c_str(),
                 reason.c_str());
    return 1;
}

// The option that getopt_long just refused, as the user wrote it: "-T" or "--threads". A short
// option is named by its letter, as it may sit inside a cluster such as -dT. An unknown long
// option, and one that lacks its argument (which can only be the last word), is the word itself
// without any "=value".
std::string refused_option(char** argv, bool missing_argument) {
    const std::string word = argv[optind - 1];
    const bool long_option = missing_argument ? word.rfind("--", 0) == 0 : optopt == 0;
    if (!long_option) return std::string("-") + char(optopt);
    return word.substr(0, word.find('='));
}

std::optional<unsigned> parse_thread_count(const char* text) {
    if (*text < '0' || *text > '9') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || errno != 0 || value > MAX_THREADS) return std::nullopt;
    return unsigned(value);
}

// The format names with their block sizes, as lines of the help text.
std::string formats_with_block_sizes() {
    constexpr std::size_t WIDTH = 80;
    std::string text, line = " ";
    for (unsigned i = 0; const char* format = vrax_format_name(i); ++i) {
        const std::size_t bytes = vrax_format_block_size(format);
        const std::string size = bytes >= (std::size_t(1) << 20)
                                     ? std::to_string(bytes >> 20) + " MiB"
                                     : std::to_string(bytes >> 10) + " KiB";
        const std::string entry = " " + std::string(format) + " (" + size + ")";
        const bool last = vrax_format_name(i + 1) == nullptr;
        if (line.size() + entry.size() + 1 > WIDTH) {
            text += line + "\n";
            line = " ";
        }
        line += entry + (last ? "" : ",");
    }
    return text + line + "\n";
}

}  // namespace

bool is_format_name(const std::string& name) {
    for (unsigned i = 0; const char* format = vrax_format_name(i); ++i)
        if (name == format) return true;
    return false;
}

std::string format_names() {
    std::string names;
    for (unsigned i = 0; const char* format = vrax_format_name(i); ++i)
        names += (i == 0 ? "" : ", ") + std::string(format);
    return names;
}

ParsedCommandLine parse_command_line(int argc, char** argv) {
    ParsedCommandLine parsed;
    Options& o = parsed.options;
    opterr = 0;  // the messages below say which option and why, in the command's own form
    int c = 0;
    while ((c = getopt_long(argc, argv, SHORT_OPTIONS, LONG_OPTIONS, nullptr)) != -1) {
        switch (c) {
            case 'z': o.mode = Mode::compress; break;
            case 'd': o.mode = Mode::decompress; break;
            case 't': o.mode = Mode::test; break;
            case 'l': o.mode = Mode::list; break;
            case 'F':
                if (!is_format_name(optarg)) {
                    parsed.exit_status = bad_usage(
                        "--format", "'" + std::string(optarg) +
                                        "' is not a format; the formats are " + format_names());
                    return parsed;
                }
                o.format = optarg;
                break;
            case 'c': o.to_stdout = true; break;
            case 'o': o.output = optarg; break;
            case 'k': o.remove_source = false; break;
            case OPT_RM: o.remove_source = true; break;
            case 'f': o.force = true; break;
            case 'T':
                if (auto threads = parse_thread_count(optarg)) {
                    o.threads = *threads;
                } else {
                    parsed.exit_status =
                        bad_usage("--threads", "'" + std::string(optarg) +
                                                   "' is not a thread count from 0 to " +
                                                   std::to_string(MAX_THREADS));
                    return parsed;
                }
                break;
            case OPT_VERIFY: o.verify = true; break;
            case 'v': o.verbosity = 2; break;
            case 'q': o.verbosity = 0; break;
            case 'h':
                std::printf(HELP, formats_with_block_sizes().c_str());
                parsed.exit_status = 0;
                return parsed;
            case 'V':
                std::printf("vrax %s\n", vrax_version_string());
                parsed.exit_status = 0;
                return parsed;
            case ':':
                parsed.exit_status = bad_usage(refused_option(argv, true), "needs an argument");
                return parsed;
            default:  // '?': optopt is the unknown letter, or 0 for an unknown long option
                parsed.exit_status = bad_usage(refused_option(argv, false), "unknown option");
                return parsed;
        }
    }
    o.files.assign(argv + optind, argv + argc);
    if (o.files.empty()) o.files.push_back("-");
    if (!o.output.empty() && o.files.size() > 1) {
        parsed.exit_status = bad_usage("-o", "names the output of a single input, and " +
                                                 std::to_string(o.files.size()) + " were given");
        return parsed;
    }
    return parsed;
}

}  // namespace vrax::cli
