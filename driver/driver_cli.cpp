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

// Words a loop's failure as "program: file: what happened".
void report(const char* program, const char* in_path, const char* out_path, bool compressing,
            const StreamOutcome& o) {
    const auto block = static_cast<unsigned long long>(o.block);
    switch (o.error) {
        case StreamError::none:
            break;
        case StreamError::read_failed:
            std::fprintf(stderr, "%s: %s: read error: %s\n", program, in_path,
                         std::strerror(o.saved_errno));
            break;
        case StreamError::write_failed:
            std::fprintf(stderr, "%s: %s: write error: %s\n", program, out_path,
                         std::strerror(o.saved_errno));
            break;
        case StreamError::truncated_length:
            std::fprintf(stderr,
                         "%s: %s: truncated stream: the file ends inside the length of block %llu\n",
                         program, in_path, block);
            break;
        case StreamError::truncated_block:
            std::fprintf(stderr,
                         "%s: %s: truncated stream: block %llu should have %u bytes, the file "
                         "ends after %u\n",
                         program, in_path, block, o.length, o.available);
            break;
        case StreamError::block_too_short:
            std::fprintf(stderr,
                         "%s: %s: corrupt stream: block %llu has a length of %u byte%s, less "
                         "than its 4-byte header\n",
                         program, in_path, block, o.length, o.length == 1 ? "" : "s");
            break;
        case StreamError::block_too_long:
            std::fprintf(stderr,
                         "%s: %s: block %llu has %u bytes, more than this program's blocks can "
                         "hold; the file may come from a program with a larger block size, or "
                         "be corrupt\n",
                         program, in_path, block, o.length);
            break;
        case StreamError::decoded_too_long:
            std::fprintf(stderr,
                         "%s: %s: block %llu decodes to more bytes than this program's blocks can "
                         "hold; the file may come from a program with a larger block size, or be "
                         "corrupt\n",
                         program, in_path, block);
            break;
        case StreamError::malformed_block:
            if (compressing)
                std::fprintf(stderr, "%s: %s: internal error: the codec failed on block %llu\n",
                             program, in_path, block);
            else
                std::fprintf(stderr,
                             "%s: %s: corrupt stream: block %llu does not decode (a copy from "
                             "outside the output, or items past the end of the block or of the "
                             "output buffer)\n",
                             program, in_path, block);
            break;
        case StreamError::codec_failed:
            // The codec's own message, as it words it: a compressor's on standard output, a
            // decompressor's on standard error.
            if (compressing)
                std::puts(o.codec_message);
            else
                std::fprintf(stderr, "%s\n", o.codec_message);
            break;
    }
}

}  // namespace

int driver_main(int argc, char** argv, const CodecBinding& codec, const BlockBuffers& buffers) {
    const char* program = argc > 0 ? argv[0] : "vrax";
    if (argc < 4 || (argv[1][0] != 'c' && argv[1][0] != 'd')) return usage(program);
    const bool compressing = argv[1][0] == 'c';
    const char* in_path = argv[2];
    const char* out_path = argv[3];

    // The working memory lives for the whole run: it is released only as the program ends.
    std::unique_ptr<void, decltype(&std::free)> work_memory(nullptr, &std::free);
    if (codec.codec_call != nullptr) {
        work_memory.reset(std::calloc(working_memory_size(codec), 1));
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
