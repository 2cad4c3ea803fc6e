// File handling of the driver (POSIX stat calls for identity checks).
#include "driver_io.h"

#include <sys/stat.h>

#include <cstdio>

namespace vrax {

bool is_same_regular_file(std::FILE* in, const char* out_path) {
    struct stat in_stat;
    struct stat out_stat;
    if (fstat(fileno(in), &in_stat) != 0 || stat(out_path, &out_stat) != 0) return false;
    return S_ISREG(in_stat.st_mode) && in_stat.st_dev == out_stat.st_dev &&
           in_stat.st_ino == out_stat.st_ino;
}

OutputFile open_output(const char* path) {
    OutputFile output;
    output.path = path;
    output.file = std::fopen(path, "wb");
    if (output.file == nullptr) return output;
    // Remove on failure only what is plainly our own file: the path itself (not a symbolic link
    // to somewhere else) names the regular file that we just opened.
    struct stat opened;
    struct stat named;
    output.remove_on_failure = fstat(fileno(output.file), &opened) == 0 &&
                               lstat(path, &named) == 0 && S_ISREG(named.st_mode) &&
                               opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
    return output;
}

bool finish_output(OutputFile& output) {
    bool ok = std::fflush(output.file) == 0 && !std::ferror(output.file);
    // fclose reports errors of its own (a deferred write on a network file system, say).
    ok = std::fclose(output.file) == 0 && ok;
    output.file = nullptr;
    return ok;
}

void discard_output(OutputFile& output) {
    if (output.file != nullptr) std::fclose(output.file);
    output.file = nullptr;
    if (output.remove_on_failure) std::remove(output.path);
}

}  // namespace vrax
