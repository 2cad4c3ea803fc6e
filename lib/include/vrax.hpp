// libvrax for C++20: the calls of vrax.h over std::span, with results in std::vector and failures
// thrown as vrax::error. Header-only over the C interface, so it adds nothing to the library's
// ABI. The same bytes, limits and thread rules as vrax.h.
#ifndef VRAX_HPP
#define VRAX_HPP

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "vrax.h"

namespace vrax {

// A failure of a vrax_ call: its code and its own text (with the block number where it has one).
class error : public std::runtime_error {
public:
    explicit error(std::size_t result)
        : std::runtime_error(vrax_error_string(result)), code_(vrax_get_error_code(result)) {}
    vrax_error_code code() const noexcept { return code_; }

private:
    vrax_error_code code_;
};

namespace detail {
inline std::size_t checked(std::size_t result) {
    if (vrax_is_error(result)) throw error(result);
    return result;
}
}  // namespace detail

struct stream_options {
    unsigned threads = 0;  // 0: every online core, within the memory budget
    bool verify = false;   // VRAX_FLAG_VERIFY
};

// Compresses `src` into `dst`; returns the stream's size. Throws vrax::error, with
// VRAX_ERROR_DST_TOO_SMALL when `dst` is smaller than the stream (compress_bound always suffices).
inline std::size_t compress(const char* format, std::span<const std::uint8_t> src,
                            std::span<std::uint8_t> dst, unsigned threads = 0) {
    return detail::checked(
        vrax_compress(format, src.data(), src.size(), dst.data(), dst.size(), threads));
}

// The stream of `src` in a vector of its exact size.
inline std::vector<std::uint8_t> compress(const char* format, std::span<const std::uint8_t> src,
                                          unsigned threads = 0) {
    const std::size_t bound = vrax_compress_bound(format, src.size());
    if (bound == 0 && !src.empty()) throw error(std::size_t(0) - VRAX_ERROR_UNKNOWN_FORMAT);
    std::vector<std::uint8_t> stream(bound);
    stream.resize(compress(format, src, stream, threads));
    return stream;
}

// Decompresses the stream `src` into `dst`; returns the decoded size. Throws vrax::error; after
// one, `dst` holds the records before the failing one.
inline std::size_t decompress(const char* format, std::span<const std::uint8_t> src,
                              std::span<std::uint8_t> dst, unsigned threads = 0) {
    return detail::checked(
        vrax_decompress(format, src.data(), src.size(), dst.data(), dst.size(), threads));
}

// Compresses or decompresses everything that `read(std::span<std::uint8_t>) -> std::size_t`
// yields (0 at the end; throw to fail) and gives the result to `write(std::span<const
// std::uint8_t>)` in order. An exception thrown by either stops the call and is rethrown; a
// failure of the library throws vrax::error.
template <class Read, class Write>
vrax_stream_stats compress_stream(const char* format, Read&& read, Write&& write,
                                  const stream_options& options = {});
template <class Read, class Write>
vrax_stream_stats decompress_stream(const char* format, Read&& read, Write&& write,
                                    const stream_options& options = {});

// The decoded bytes of a whole stream in a vector, however large they turn out.
inline std::vector<std::uint8_t> decompress(const char* format, std::span<const std::uint8_t> src,
                                            unsigned threads = 0) {
    std::size_t at = 0;
    std::vector<std::uint8_t> out;
    decompress_stream(
        format,
        [&](std::span<std::uint8_t> buffer) {
            const std::size_t n = std::min(buffer.size(), src.size() - at);
            std::copy_n(src.data() + at, n, buffer.data());
            at += n;
            return n;
        },
        [&](std::span<const std::uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); },
        stream_options{threads, false});
    return out;
}

namespace detail {

// Carries the caller's callables through the C callbacks, and their exception back out.
template <class Read, class Write>
struct Callbacks {
    Read& read;
    Write& write;
    std::exception_ptr failure;

    static std::ptrdiff_t on_read(void* context, void* buffer, std::size_t capacity) {
        auto* self = static_cast<Callbacks*>(context);
        try {
            return std::ptrdiff_t(
                self->read(std::span<std::uint8_t>(static_cast<std::uint8_t*>(buffer), capacity)));
        } catch (...) {
            self->failure = std::current_exception();
            errno = ECANCELED;
            return -1;
        }
    }
    static int on_write(void* context, const void* data, std::size_t size) {
        auto* self = static_cast<Callbacks*>(context);
        try {
            self->write(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), size));
            return 0;
        } catch (...) {
            self->failure = std::current_exception();
            errno = ECANCELED;
            return -1;
        }
    }
};

template <class Call, class Read, class Write>
vrax_stream_stats run_stream(Call call, const char* format, Read& read, Write& write,
                             const stream_options& options) {
    Callbacks<Read, Write> callbacks{read, write, nullptr};
    const vrax_stream_options c_options{options.threads, options.verify ? VRAX_FLAG_VERIFY : 0u,
                                        nullptr, nullptr};
    vrax_stream_stats stats{};
    const std::size_t result = call(format, &Callbacks<Read, Write>::on_read, &callbacks,
                                    &Callbacks<Read, Write>::on_write, &callbacks, &c_options,
                                    &stats);
    if (callbacks.failure) std::rethrow_exception(callbacks.failure);
    checked(result);
    return stats;
}

}  // namespace detail

template <class Read, class Write>
vrax_stream_stats compress_stream(const char* format, Read&& read, Write&& write,
                                  const stream_options& options) {
    return detail::run_stream(vrax_compress_stream, format, read, write, options);
}

template <class Read, class Write>
vrax_stream_stats decompress_stream(const char* format, Read&& read, Write&& write,
                                    const stream_options& options) {
    return detail::run_stream(vrax_decompress_stream, format, read, write, options);
}

}  // namespace vrax

#endif  // VRAX_HPP
