// The main program shared by every deliverable: start-up in a fixed order (arguments, identity,
// working memory, input, output), one block loop, and a message plus exit status 1 for every
// failure.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "driver.h"
#include "driver_io.h"
#include "driver_stream.h"

namespace vrax {
namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAIL = 1;

int usage(const char* program) {
    std::fprintf(stderr, "To compress:   %s c input output\nTo decompress: %s d input output\n",
                 program, program);
    return EXIT_FAIL;
}

// Words a loop's failure as "program: file: what happened". The codec's own message stands
// alone, as the codec words it: a compressor's on standard output, a decompressor's on standard
// error.
void report(const char* program, const char* in_path, const char* out_path, bool compressing,
            const StreamOutcome& o) {
    char text[512];
    describe_outcome(o, compressing, "program", text, sizeof text);
    if (o.error == StreamError::codec_failed) {
        if (compressing)
            std::puts(text);
        else
            std::fprintf(stderr, "%s\n", text);
        return;
    }
    const char* path = o.error == StreamError::write_failed ? out_path : in_path;
    std::fprintf(stderr, "%s: %s: %s\n", program, path, text);
}

}  // namespace

int driver_main(int argc, char** argv, const CodecHandle& codec, const BlockBuffers& buffers) {
    const char* program = argc > 0 ? argv[0] : "vrax";
    if (argc < 4 || (argv[1][0] != 'c' && argv[1][0] != 'd')) return usage(program);
    const bool compressing = argv[1][0] == 'c';
    const char* in_path = argv[2];
    const char* out_path = argv[3];

    // The working memory lives for the whole run: it is released only as the program ends.
    std::unique_ptr<void, decltype(&std::free)> work_memory(nullptr, &std::free);
    if (codec.has_entry_point()) {
        work_memory.reset(std::calloc(codec.work_memory_size(), 1));
        if (work_memory == nullptr) {
            std::puts("Out of memory");
            return EXIT_FAIL;
        }
    }

    std::FILE* in = std::fopen(in_path, "rb");
    if (in == nullptr) {
        std::perror(in_path);
        return EXIT_FAIL;
    }
    if (is_same_regular_file(in, out_path)) {
        std::fprintf(stderr, "%s: %s: input and output are the same file; nothing done\n", program,
                     out_path);
        return EXIT_FAIL;
    }
    OutputFile output = open_output(out_path);
    if (output.file == nullptr) {
        std::perror(out_path);
        return EXIT_FAIL;
    }

    const StreamSetup setup{codec, work_memory.get(), buffers};
    StreamOutcome outcome = compressing ? compress_stream(in, output.file, setup)
                                        : decompress_stream(in, output.file, setup);
    if (outcome.error == StreamError::none && !finish_output(output)) {
        outcome.error = StreamError::write_failed;
        outcome.saved_errno = errno;
    }
    if (outcome.error != StreamError::none) {
        report(program, in_path, out_path, compressing, outcome);
        discard_output(output);
        return EXIT_FAIL;
    }
    return EXIT_OK;
}

}  // namespace vrax
