// Writes the seed corpus of the fuzz targets, made with the codecs themselves so that every codec of
// the table starts from valid blocks and streams: fuzz_make_seeds DIR fills DIR/decode,
// DIR/roundtrip, DIR/stream and DIR/library (which must exist). Each seed carries the selector bytes that its
// target reads first (fuzz_harness.h), then valid, truncated and bit-flipped blocks or streams.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_harness.h"

using namespace vrax;
using namespace vrax::fuzz;

namespace {

// Deterministic inputs: empty, short, runs, text with repeats near and far, bytes that spell the
// fill string, and noise that only a stored block can hold.
std::vector<Bytes> sample_inputs() {
    std::vector<Bytes> inputs;
    auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    inputs.push_back({});
    inputs.push_back(text("hello"));
    inputs.push_back(Bytes(19, 'a'));
    inputs.push_back(Bytes(300, 'a'));

    std::string words;
    const char* vocabulary[] = {"the ", "block ", "copy ", "literal ", "table ", "\n", "of "};
    std::uint32_t state = 12345;
    auto next = [&state] { return state = state * 1103515245u + 12345u, state >> 16; };
    while (words.size() < 1500) words += vocabulary[next() % 7];
    inputs.push_back(text(words));

    std::string fill;
    for (int k = 0; k < 4; ++k) fill += "123456789012345678";
    inputs.push_back(text(fill + "0123456789" + fill));

    Bytes noise(600);
    for (auto& b : noise) b = std::uint8_t(next());
    inputs.push_back(noise);

    Bytes mixed;
    while (mixed.size() < 5000) {
        if (mixed.size() > 40 && next() % 3 == 0) {
            std::size_t from = mixed.size() - 1 - next() % std::min<std::size_t>(mixed.size() - 1, 5000);
            for (std::size_t k = 0, len = 3 + next() % 20; k < len; ++k) mixed.push_back(mixed[from + k]);
        } else {
            mixed.push_back(std::uint8_t(next() % 8));
        }
    }
    inputs.push_back(mixed);
    return inputs;
}

Bytes compress_block(const FuzzCodec& codec, const Bytes& input) {
    WorkMemory work(codec, 0);
    Bytes out(input.size() + codec.handle.compress_room());
    CodecResult r{};
    CodecStatus status = codec.handle.compress(work.get(), input.data(),
                                        std::uint32_t(input.size()), out.data(),
                                        std::uint32_t(out.size()), &r);
    FUZZ_CHECK(status == CodecStatus::ok);
    out.resize(r.length);
    return out;
}

Bytes compress_stream_of(const FuzzCodec& codec, const Bytes& input, std::uint32_t block_size) {
    const std::uint32_t capacity = block_size + codec.slack;
    Bytes input_block(capacity), output_block(capacity);
    WorkMemory work(codec, 0);
    const StreamSetup setup{codec.handle, work.get(),
                            BlockBuffers{input_block.data(), output_block.data(), capacity,
                                         block_size}};
    Run run = run_loop(compress_stream, input, setup);
    FUZZ_CHECK(run.outcome.error == StreamError::none);
    return run.output;
}

class SeedWriter {
public:
    explicit SeedWriter(std::string dir) : dir_(std::move(dir)) {}

    void write(const char* target, const FuzzCodec& codec, std::uint8_t b0, std::uint8_t b1,
               const Bytes& body) {
        const std::string path =
            dir_ + "/" + target + "/" + codec.name + "-" + std::to_string(count_++);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) {
            std::perror(path.c_str());
            std::exit(1);
        }
        const std::uint8_t head[2] = {b0, b1};
        std::fwrite(head, 1, 2, f);
        if (!body.empty()) std::fwrite(body.data(), 1, body.size(), f);
        if (std::fclose(f) != 0) {
            std::perror(path.c_str());
            std::exit(1);
        }
    }

    // The valid bytes, then cut short at a few places and with single bits flipped.
    void write_damaged(const char* target, const FuzzCodec& codec, std::uint8_t b0,
                       std::uint8_t b1, const Bytes& valid) {
        write(target, codec, b0, b1, valid);
        for (std::size_t cut : {valid.size() - 1, valid.size() / 2, std::size_t(7)})
            if (cut < valid.size()) write(target, codec, b0, b1, Bytes(valid.begin(), valid.begin() + long(cut)));
        for (std::size_t at : {std::size_t(0), std::size_t(3), std::size_t(5), valid.size() / 3,
                               valid.size() - 2}) {
            if (at >= valid.size()) continue;
            Bytes flipped = valid;
            flipped[at] ^= std::uint8_t(1u << (at % 8));
            write(target, codec, b0, b1, flipped);
        }
    }

private:
    std::string dir_;
    unsigned count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 1;
    }
    SeedWriter seeds(argv[1]);
    const std::vector<Bytes> inputs = sample_inputs();
    for (std::uint8_t c = 0; c < FUZZ_CODEC_COUNT; ++c) {
        const FuzzCodec& codec = FUZZ_CODECS[c];
        for (const Bytes& input : inputs) {
            // Decoder: the driver's capacity and an exact one (stored blocks), each block damaged.
            const Bytes block = compress_block(codec, input);
            seeds.write_damaged("decode", codec, c, 5, block);
            seeds.write("decode", codec, c, 3, block);

            // Round trip: whole, in blocks of 19 bytes, in blocks of 888 bytes.
            for (std::uint8_t b1 : {0, 19, 100}) seeds.write("roundtrip", codec, c, b1, input);

            // Stream: records with a block size of 232 bytes (selector 14), damaged; and the
            // input as a plain file for the round trip.
            const std::uint8_t b1 = 14;
            const Bytes records = compress_stream_of(codec, input, stream_block_size(b1));
            seeds.write_damaged("stream", codec, c, b1, records);
            seeds.write("stream", codec, c, b1 | 1, input);

            // The library: the same records with the format's large destination (selector 5),
            // damaged, and one byte short of the decoded size (selector 2).
            seeds.write_damaged("library", codec, c, 5, records);
            seeds.write("library", codec, c, 2, records);
        }
    }
    return 0;
}
