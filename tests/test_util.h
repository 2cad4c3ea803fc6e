// Helpers shared by the tests: byte vectors from hex, generated inputs, and calls into codecs
// through their entry points.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "codec_handle.h"

namespace vrax::test {

using Bytes = std::vector<std::uint8_t>;

// "00 0F 61" -> {0x00, 0x0F, 0x61}; whitespace between bytes is optional.
inline Bytes hex(std::string_view text) {
    Bytes out;
    int high = -1;
    for (char c : text) {
        int v = c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (v < 0) continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(std::uint8_t(high << 4 | v));
            high = -1;
        }
    }
    return out;
}

inline Bytes ascii(std::string_view text) { return Bytes(text.begin(), text.end()); }
inline Bytes repeat(std::uint8_t byte, std::size_t n) { return Bytes(n, byte); }
inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// The stored block of `input`: flag 1, three zero bytes, the input.
inline Bytes stored(const Bytes& input) { return concat(Bytes{BLOCK_STORED, 0, 0, 0}, input); }
inline Bytes times(const Bytes& unit, std::size_t count) {
    Bytes out;
    for (std::size_t k = 0; k < count; ++k) out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

// A row of a byte-vector table: an input and the exact block a codec must make of it.
struct BlockVector {
    const char* name;
    Bytes input;
    Bytes block;
};

// A row of a refusal table: a block that a decoder must refuse with `capacity` bytes of room.
struct MalformedBlock {
    const char* name;
    Bytes block;
    std::uint32_t capacity;
};

// A decoder's refusal: a block it could not have written, or one that decodes to more than the
// destination holds.
inline bool refused(CodecStatus s) { return s == CodecStatus::malformed || s == CodecStatus::too_long; }

// Table rows show as their names in test listings and failure reports.
inline void PrintTo(const BlockVector& row, std::ostream* os) { *os << row.name; }
inline void PrintTo(const MalformedBlock& row, std::ostream* os) { *os << row.name; }

// Names each parameterised case after its row's `name`.
struct RowName {
    template <class Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
        return info.param.name;
    }
};

// The block that a plain model compressor builds: the coded block's header and first reserved
// control word, then its items, each item's bit gathered into the word reserved before it.
class ModelBlock {
public:
    Bytes out{0, 0, 0, 0, 0, 0};

    // Records that the item just appended to `out` is a copy (true) or a literal.
    void item_done(bool copy) {
        flags_ |= std::uint32_t(copy) << items_;
        if (++items_ == 16) {
            write_word();
            word_at_ = out.size();
            out.resize(out.size() + 2);
            flags_ = 0;
            items_ = 0;
        }
    }

    // The finished block: the last word describes the remaining items, its other bits 1 when
    // `spare_ones`; a reserved word that describes no item is dropped.
    Bytes finish(bool spare_ones) {
        if (items_ == 0) {
            out.resize(word_at_);
        } else {
            if (spare_ones) flags_ |= 0xFFFFu << items_;
            write_word();
        }
        return out;
    }

private:
    void write_word() {
        out[word_at_] = std::uint8_t(flags_);
        out[word_at_ + 1] = std::uint8_t(flags_ >> 8);
    }

    std::size_t word_at_ = 4;
    std::uint32_t flags_ = 0;
    int items_ = 0;
};

// Kinds of generated input, from incompressible to highly repetitive.
enum class Shape { random, runs, text, binary_mix };

inline const char* shape_name(Shape s) {
    switch (s) {
        case Shape::random: return "random";
        case Shape::runs: return "runs";
        case Shape::text: return "text";
        case Shape::binary_mix: return "binary_mix";
    }
    return "?";
}

// Deterministic input of n bytes of the given shape for `seed`.
inline Bytes generate(Shape shape, std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(n);
    static constexpr const char* words[] = {"the ", "of ", "and ", "compress", "block ", "vrax ",
                                            "table ", "copy ", "literal ", "\n", "123456789",
                                            "0123456789012345678", "a", "ab", "zzz "};
    while (out.size() < n) {
        switch (shape) {
            case Shape::random:
                out.push_back(std::uint8_t(rng()));
                break;
            case Shape::runs: {
                std::uint8_t b = std::uint8_t(rng() % 4);
                std::size_t len = 1 + rng() % 300;
                out.insert(out.end(), len, b);
                break;
            }
            case Shape::text: {
                std::string_view w = words[rng() % std::size(words)];
                out.insert(out.end(), w.begin(), w.end());
                break;
            }
            case Shape::binary_mix: {
                if (rng() % 3 == 0 && out.size() > 20) {
                    // Repeat an earlier stretch at a random distance, some of them far back.
                    std::size_t dist = 1 + rng() % std::min<std::size_t>(out.size(), 70000);
                    std::size_t len = 3 + rng() % 40;
                    std::size_t from = out.size() - dist;
                    for (std::size_t k = 0; k < len; ++k) out.push_back(out[from + k]);
                } else {
                    out.push_back(std::uint8_t(rng() % 16));
                }
                break;
            }
        }
    }
    out.resize(n);
    return out;
}

// One codec with its own zero-filled working memory, called through its handle.
class CodecSession {
public:
    explicit CodecSession(CodecCall* call) : CodecSession(CodecHandle::entry_point(call, 0, 0)) {}
    explicit CodecSession(const CodecHandle& codec) : codec_(codec) {
        // An odd start checks that the codec aligns its working memory itself.
        memory_.assign(codec_.work_memory_size() + 1, 0);
    }

    const AlgorithmIdentity& identity() const { return *codec_.identity(); }

    Bytes compress(const Bytes& in, std::uint32_t slack = BLOCK_SLACK) {
        Bytes out(in.size() + slack);
        CodecResult r{};
        status_ = codec_.compress(work(), in.data(), std::uint32_t(in.size()), out.data(),
                                  std::uint32_t(out.size()), &r);
        out.resize(status_ == CodecStatus::ok ? r.length : 0);
        return out;
    }

    // Decodes into a destination of exactly `capacity` bytes; the status tells whether it worked.
    Bytes decompress(const Bytes& block, std::uint32_t capacity) {
        Bytes out(capacity);
        CodecResult r{};
        status_ = codec_.decompress(work(), block.data(), std::uint32_t(block.size()), out.data(),
                                    capacity, &r);
        out.resize(status_ == CodecStatus::ok ? r.length : 0);
        return out;
    }

    CodecStatus status() const { return status_; }

private:
    void* work() { return memory_.data() + 1; }

    CodecHandle codec_;
    Bytes memory_;
    CodecStatus status_ = CodecStatus::ok;
};

}  // namespace vrax::test
