// Runs one of the driver's stream loops on bytes in memory instead of files.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "driver_stream.h"
#include "test_util.h"

namespace vrax::test {

// Feeds `in` to `loop` (compress_stream or decompress_stream) and collects what it writes in `out`.
template <class Loop>
StreamOutcome run_in_memory(Loop loop, const StreamSetup& setup, const Bytes& in, Bytes& out) {
    // fmemopen cannot open an empty buffer on every libc; a one-byte buffer read up to its end
    // stands in for an empty stream.
    static std::uint8_t none = 0;
    std::FILE* source = in.empty() ? fmemopen(&none, 1, "rb")
                                   : fmemopen(const_cast<std::uint8_t*>(in.data()), in.size(), "rb");
    if (in.empty()) std::fgetc(source);
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* sink = open_memstream(&buffer, &size);
    StreamOutcome outcome = loop(source, sink, setup);
    std::fclose(source);
    std::fclose(sink);
    out.assign(buffer, buffer + size);
    std::free(buffer);
    return outcome;
}

}  // namespace vrax::test
