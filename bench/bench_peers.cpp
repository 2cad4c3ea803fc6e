// The fast compressors that VRAX is compared with, each through its own library's API on
// independent 1 MiB blocks, and memcpy as the speed of moving the bytes at all. A peer is built in
// only when its development package was found (VRAX_BENCH_HAVE_<NAME>).
#include <cstring>
#include <vector>

#include "bench_coder.h"

#if VRAX_BENCH_HAVE_LZ4
#include <lz4.h>
#include <lz4hc.h>
#endif
#if VRAX_BENCH_HAVE_SNAPPY
#include <snappy-c.h>
#include <snappy-stubs-public.h>  // SNAPPY_MAJOR and the like
#endif
#if VRAX_BENCH_HAVE_LZO
#include <lzo/lzo1x.h>
#endif
#if VRAX_BENCH_HAVE_ZSTD
#include <zstd.h>
#endif
#if VRAX_BENCH_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif
#if VRAX_BENCH_HAVE_ZLIB
#include <zlib.h>
#endif

namespace vrax::bench {
namespace {

// The VRAX codecs it is compared with use 1 MiB blocks (all but the 64 KiB and 16/256 MiB
// programs), so every peer codes 1 MiB blocks independently of each other.
constexpr std::uint32_t PEER_BLOCK_SIZE = 1u << 20;

// LZ4 and Snappy take bytes as char.
[[maybe_unused]] const char* chars(const std::uint8_t* p) {
    return reinterpret_cast<const char*>(p);
}
[[maybe_unused]] char* chars(std::uint8_t* p) { return reinterpret_cast<char*>(p); }

// A peer: a name and the 1 MiB block size; each subclass brings its library calls.
class Peer : public BlockCoder {
public:
    explicit Peer(std::string name) : name_(std::move(name)) {}
    const std::string& name() const override { return name_; }
    std::uint32_t block_size() const override { return PEER_BLOCK_SIZE; }
    std::size_t decompress_capacity() const override { return PEER_BLOCK_SIZE; }

protected:
    bool fail(const char* why) {
        message = why;
        return false;
    }

private:
    std::string name_;
};

class Memcpy final : public Peer {
public:
    Memcpy() : Peer("memcpy") {}
    std::size_t compress_capacity(std::uint32_t in_size) const override { return in_size; }
    bool compress(const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out, std::size_t,
                  std::size_t* out_size) override {
        std::memcpy(out, in, in_size);
        *out_size = in_size;
        return true;
    }
    bool decompress(const std::uint8_t* in, std::size_t in_size, std::uint8_t* out, std::size_t,
                    std::uint32_t, std::size_t* out_size) override {
        std::memcpy(out, in, in_size);
        *out_size = in_size;
        return true;
    }
};

#if VRAX_BENCH_HAVE_LZ4
class Lz4 : public Peer {
public:
    using Peer::Peer;
    Lz4() : Peer("lz4") {}
    std::size_t compress_capacity(std::uint32_t in_size) const override {
        return std::size_t(LZ4_compressBound(int(in_size)));
    }
    bool compress(const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                  std::size_t out_cap, std::size_t* out_size) override {
        int n = LZ4_compress_default(chars(in), chars(out), int(in_size), int(out_cap));
        if (n <= 0) return fail("LZ4_compress_default failed");
        *out_size = std::size_t(n);
        return true;
    }
    bool decompress(const std::uint8_t* in, std::size_t in_size, std::uint8_t* out,
                    std::size_t out_cap, std::uint32_t, std::size_t* out_size) override {
        int n = LZ4_decompress_safe(chars(in), chars(out), int(in_size), int(out_cap));
        if (n < 0) return fail("LZ4_decompress_safe failed");
        *out_size = std::size_t(n);
        return true;
    }
};

// LZ4's high-compression coder at level 9 (its default), decoded by the same LZ4 decoder. Its
// state is allocated once, not in every call.
class Lz4Hc final : public Lz4 {
public:
    Lz4Hc() : Lz4("lz4hc-9"), state_(std::size_t(LZ4_sizeofStateHC())) {}
    bool compress(const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                  std::size_t out_cap, std::size_t* out_size) override {
        int n = LZ4_compress_HC_extStateHC(state_.data(), chars(in), chars(out), int(in_size),
                                           int(out_cap), 9);
        if (n <= 0) return fail("LZ4_compress_HC_extStateHC failed");
        *out_size = std::size_t(n);
        return true;
    }

private:
    std::vector<char> state_;
};
#endif

#if VRAX_BENCH_HAVE_SNAPPY
class Snappy final : public Peer {
public:
    Snappy() : Peer("snappy") {}
    std::size_t compress_capacity(std::uint32_t in_size) const override {
        return snappy_max_compressed_length(in_size);
    }
    bool compress(const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                  std::size_t out_cap, std::size_t* out_size) override {
        std::size_t n = out_cap;
        if (snappy_compress(chars(in), in_size, chars(out), &n) != SNAPPY_OK)
            return fail("snappy_compress failed");
        *out_size = n;
        return true;
    }
    bool decompress(const std::uint8_t* in, std::size_t in_size, std::uint8_t* out,
                    std::size_t out_cap, std::uint32_t, std::size_t* out_size) override {
        std::size_t n = out_cap;
        if (snappy_uncompress(chars(in), in_size, chars(out), &n) != SNAPPY_OK)
            return fail("snappy_uncompress failed");
        *out_size = n;
        return true;
    }
};
#endif

#if VRAX_BENCH_HAVE_LZO
class Lzo1x1 final : public Peer {
public:
    Lzo1x1() : Peer("lzo1x-1"), work_(LZO1X_1_MEM_COMPRESS) {}
    // LZO's documented worst case for incompressible input.
    std::size_t compress_capacity(std::uint32_t in_size) const override {
        return in_size + in_size / 16 + 64 + 3;
    }
    bool compress(const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out, std::size_t,
                  std::size_t* out_size) override {
        lzo_uint n = 0;
        if (lzo1x_1_compress(in, in_size, out, &n, work_.data()) != LZO_E_OK)
            return fail("lzo1x_1_compress failed");
        *out_size = n;
        return true;
    }
    bool decompress(const std::uint8_t* in, std::size_t in_size, std::uint8_t* out,
                    std::size_t out_cap, std::uint32_t, std::size_t* out_size) override {
        lzo_uint n = out_cap;
        if (lzo1x_decompress_safe(in, in_size, out, &n, nullptr) != LZO_E_OK)
            return fail("lzo1x_decompress_safe failed");
        *out_size = n;
        return true;
    }

private:
    std::vector<unsigned char> work_;
};
#endif

#if VRAX_BENCH_HAVE_ZSTD
// zstd at level 1 with one compression and one decompression context reused for every block.
class Zstd1 final : public Peer {
public:
    Zstd1() : Peer("zstd-1"), cctx_(ZSTD_createCCtx()), dctx_(ZSTD_createDCtx()) {}
    ~Zstd1() override {
        ZSTD_freeCCtx(cctx_);
        ZSTD_freeDCtx(dctx_);
    }
    Zstd1(const Zstd1&) = delete;
    Zstd1& operator=(const Zstd1&) = delete;

    std::size_t compress_capacity(std::uint32_t in_size) const override {
        return ZSTD_compressBound(in_size);
    }
    bool compress(const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                  std::size_t out_cap, std::size_t* out_size) override {
        std::size_t n = ZSTD_compressCCtx(cctx_, out, out_cap, in, in_size, 1);
        if (ZSTD_isError(n)) return fail(ZSTD_getErrorName(n));
        *out_size = n;
        return true;
    }
    bool decompress(const std::uint8_t* in, std::size_t in_size, std::uint8_t* out,
                    std::size_t out_cap, std::uint32_t, std::size_t* out_size) override {
        std::size_t n = ZSTD_decompressDCtx(dctx_, out, out_cap, in, in_size);
        if (ZSTD_isError(n)) return fail(ZSTD_getErrorName(n));
        *out_size = n;
        return true;
    }

private:
    ZSTD_CCtx* cctx_;
    ZSTD_DCtx* dctx_;
};
#endif

#if VRAX_BENCH_HAVE_LIBDEFLATE
// libdeflate at level 1, raw DEFLATE blocks (no zlib wrapper, no checksum).
class Libdeflate1 final : public Peer {
public:
    Libdeflate1()
        : Peer("libdeflate-1"), compressor_(libdeflate_alloc_compressor(1)),
          decompressor_(libdeflate_alloc_decompressor()) {}
    ~Libdeflate1() override {
        libdeflate_free_compressor(compressor_);
        libdeflate_free_decompressor(decompressor_);
    }
    Libdeflate1(const Libdeflate1&) = delete;
    Libdeflate1& operator=(const Libdeflate1&) = delete;

    std::size_t compress_capacity(std::uint32_t in_size) const override {
        return libdeflate_deflate_compress_bound(compressor_, in_size);
    }
    bool compress(const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                  std::size_t out_cap, std::size_t* out_size) override {
        std::size_t n = libdeflate_deflate_compress(compressor_, in, in_size, out, out_cap);
        if (n == 0) return fail("libdeflate_deflate_compress failed");
        *out_size = n;
        return true;
    }
    bool decompress(const std::uint8_t* in, std::size_t in_size, std::uint8_t* out,
                    std::size_t out_cap, std::uint32_t, std::size_t* out_size) override {
        if (libdeflate_deflate_decompress(decompressor_, in, in_size, out, out_cap, out_size) !=
            LIBDEFLATE_SUCCESS)
            return fail("libdeflate_deflate_decompress failed");
        return true;
    }

private:
    libdeflate_compressor* compressor_;
    libdeflate_decompressor* decompressor_;
};
#endif

#if VRAX_BENCH_HAVE_ZLIB
// zlib at level 1 in its own format (what compress2 writes: header and Adler-32), with one
// deflate and one inflate stream reset for every block instead of set up anew.
class Zlib1 final : public Peer {
public:
    Zlib1() : Peer("zlib-1") {
        ok_ = deflateInit(&deflate_, 1) == Z_OK;
        ok_ = inflateInit(&inflate_) == Z_OK && ok_;
    }
    ~Zlib1() override {
        deflateEnd(&deflate_);
        inflateEnd(&inflate_);
    }
    Zlib1(const Zlib1&) = delete;
    Zlib1& operator=(const Zlib1&) = delete;

    std::size_t compress_capacity(std::uint32_t in_size) const override {
        return compressBound(in_size);
    }
    bool compress(const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                  std::size_t out_cap, std::size_t* out_size) override {
        if (!ok_ || deflateReset(&deflate_) != Z_OK) return fail("deflateInit/deflateReset failed");
        deflate_.next_in = const_cast<Bytef*>(in);
        deflate_.avail_in = in_size;
        deflate_.next_out = out;
        deflate_.avail_out = uInt(out_cap);
        if (deflate(&deflate_, Z_FINISH) != Z_STREAM_END) return fail("deflate failed");
        *out_size = out_cap - deflate_.avail_out;
        return true;
    }
    bool decompress(const std::uint8_t* in, std::size_t in_size, std::uint8_t* out,
                    std::size_t out_cap, std::uint32_t, std::size_t* out_size) override {
        if (!ok_ || inflateReset(&inflate_) != Z_OK) return fail("inflateInit/inflateReset failed");
        inflate_.next_in = const_cast<Bytef*>(in);
        inflate_.avail_in = uInt(in_size);
        inflate_.next_out = out;
        inflate_.avail_out = uInt(out_cap);
        if (inflate(&inflate_, Z_FINISH) != Z_STREAM_END) return fail("inflate failed");
        *out_size = out_cap - inflate_.avail_out;
        return true;
    }

private:
    z_stream deflate_{};
    z_stream inflate_{};
    bool ok_ = false;
};
#endif

}  // namespace

std::vector<std::unique_ptr<BlockCoder>> peer_coders() {
    std::vector<std::unique_ptr<BlockCoder>> peers;
#if VRAX_BENCH_HAVE_LZ4
    peers.push_back(std::make_unique<Lz4>());
    peers.push_back(std::make_unique<Lz4Hc>());
#endif
#if VRAX_BENCH_HAVE_SNAPPY
    peers.push_back(std::make_unique<Snappy>());
#endif
#if VRAX_BENCH_HAVE_LZO
    if (lzo_init() == LZO_E_OK) peers.push_back(std::make_unique<Lzo1x1>());
#endif
#if VRAX_BENCH_HAVE_ZSTD
    peers.push_back(std::make_unique<Zstd1>());
#endif
#if VRAX_BENCH_HAVE_LIBDEFLATE
    peers.push_back(std::make_unique<Libdeflate1>());
#endif
#if VRAX_BENCH_HAVE_ZLIB
    peers.push_back(std::make_unique<Zlib1>());
#endif
    peers.push_back(std::make_unique<Memcpy>());
    return peers;
}

std::string peer_versions() {
    std::string text;
#if VRAX_BENCH_HAVE_LZ4
    text += std::string("lz4 ") + LZ4_versionString() + "\n";
#endif
#if VRAX_BENCH_HAVE_SNAPPY
    text += "snappy " + std::to_string(SNAPPY_MAJOR) + "." + std::to_string(SNAPPY_MINOR) + "." +
            std::to_string(SNAPPY_PATCHLEVEL) + "\n";
#endif
#if VRAX_BENCH_HAVE_LZO
    text += std::string("lzo ") + lzo_version_string() + "\n";
#endif
#if VRAX_BENCH_HAVE_ZSTD
    text += std::string("zstd ") + ZSTD_versionString() + "\n";
#endif
#if VRAX_BENCH_HAVE_LIBDEFLATE
    text += std::string("libdeflate ") + LIBDEFLATE_VERSION_STRING + "\n";
#endif
#if VRAX_BENCH_HAVE_ZLIB
    text += std::string("zlib ") + zlibVersion() + "\n";
#endif
    return text;
}

}  // namespace vrax::bench
