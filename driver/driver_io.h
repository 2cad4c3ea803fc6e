// The driver's files: opening them, refusing to overwrite the input, and closing or removing the
// output so that a failed run never leaves a half-written regular file behind.
#pragma once

#include <cstdio>

namespace vrax {

struct OutputFile {
    std::FILE* file = nullptr;
    const char* path = nullptr;
    bool remove_on_failure = false;  // a regular file that this run created or truncated
};

// True when `out_path` names the regular file that `in` reads: opening it for writing would
// truncate the input before a byte of it is read.
bool is_same_regular_file(std::FILE* in, const char* out_path);

// Opens (creates or truncates) the output for writing bytes; file is null on failure, errno set.
OutputFile open_output(const char* path);

// Flushes and closes the output; false (errno set) if any byte could not be written.
bool finish_output(OutputFile& output);

// Closes the output after a failure and removes it if it is a regular file this run wrote.
void discard_output(OutputFile& output);

}  // namespace vrax
