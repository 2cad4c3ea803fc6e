// vraxdata: writes the generated benchmark set (bench_data.h) into a directory, one file each,
// and prints their paths, for vraxbench to run beside the corpus.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "bench_data.h"

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs(
            "Usage: vraxdata DIR\n"
            "Writes the generated benchmark set (16-bit image, database records, big-endian\n"
            "counters, a four-letter sequence, UTF-8 text) into the existing directory DIR\n"
            "and prints the paths. The same bytes on every machine.\n",
            argc == 2 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
        return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 1;
    }
    for (const vrax::bench::GeneratedFile& file : vrax::bench::generated_set()) {
        const std::string path = std::string(argv[1]) + "/" + file.name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.bytes.data()),
                  std::streamsize(file.bytes.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "vraxdata: %s: %s\n", path.c_str(), std::strerror(errno));
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
