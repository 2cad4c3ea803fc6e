// The C interface of vrax.h: argument checks, error codes and texts, and the byte inputs and
// outputs (memory, file descriptors, callbacks) that the engine runs over.
#include "vrax.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

#include "engine.h"

namespace vrax::lib {
namespace {

// --- Results and error texts ---

constexpr std::size_t error_result(vrax_error_code code) { return std::size_t(0) - code; }

const char* general_text(vrax_error_code code) {
    switch (code) {
        case VRAX_OK: return "no error";
        case VRAX_ERROR_GENERIC: return "internal error: a codec broke its contract";
        case VRAX_ERROR_UNKNOWN_FORMAT: return "unknown format";
        case VRAX_ERROR_ARGUMENT: return "invalid argument";
        case VRAX_ERROR_DST_TOO_SMALL: return "destination buffer too small";
        case VRAX_ERROR_TRUNCATED: return "truncated stream";
        case VRAX_ERROR_CORRUPT: return "corrupt stream";
        case VRAX_ERROR_BLOCK_TOO_LARGE:
            return "a block larger than this format's blocks; the stream may come from a format "
                   "with a larger block size, or be corrupt";
        case VRAX_ERROR_CODEC: return "the codec failed";
        case VRAX_ERROR_READ: return "read error";
        case VRAX_ERROR_WRITE: return "write error";
        case VRAX_ERROR_MEMORY: return "out of memory";
        case VRAX_ERROR_THREADS: return "a worker thread could not be started";
        case VRAX_ERROR_VERIFY: return "verification failed: a block did not decode to its input";
        case VRAX_ERROR_CANCELLED: return "cancelled";
        case VRAX_ERROR_MAX_CODE: break;
    }
    return "unknown error";
}

// The calling thread's most recent failure, with its own text.
struct LastError {
    std::size_t result = 0;
    char text[512] = "";
};
thread_local LastError last_error;

std::size_t fail(vrax_error_code code, const char* text = nullptr) {
    last_error.result = error_result(code);
    std::snprintf(last_error.text, sizeof last_error.text, "%s",
                  text != nullptr ? text : general_text(code));
    return last_error.result;
}

const ProgramDefinition* find_format(const char* name) {
    if (name == nullptr) return nullptr;
    for (const ProgramDefinition& row : PROGRAM_TABLE)
        if (std::string_view(name) == row.name) return &row;
    return nullptr;
}

// --- Byte inputs and outputs ---

// The caller's memory, read in place: blocks are coded where they lie.
class MemoryInput final : public ByteInput {
public:
    MemoryInput(const void* data, std::size_t size)
        : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
    Taken take(std::uint8_t*, std::size_t n) override {
        const std::size_t k = std::min(n, size_ - at_);
        const Taken taken{data_ + at_, k, false, 0};
        at_ += k;
        return taken;
    }
    bool in_place() const override { return true; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// The caller's buffer: nothing is written past its capacity.
class MemoryOutput final : public ByteOutput {
public:
    MemoryOutput(void* data, std::size_t capacity)
        : data_(static_cast<std::uint8_t*>(data)), capacity_(capacity) {}
    bool put(const std::uint8_t* data, std::size_t n) override {
        if (n > capacity_ - size_) {
            overflowed_ = true;
            errno = ENOSPC;
            return false;
        }
        if (n != 0) std::memcpy(data_ + size_, data, n);
        size_ += n;
        return true;
    }
    std::size_t size() const { return size_; }
    bool overflowed() const { return overflowed_; }

private:
    std::uint8_t* data_;
    std::size_t capacity_;
    std::size_t size_ = 0;
    bool overflowed_ = false;
};

// Fills the buffer from `read_some` (which returns bytes read, 0 at the end, -1 on an error)
// until n bytes are there or the input ends.
template <class ReadSome>
ByteInput::Taken fill(std::uint8_t* buffer, std::size_t n, ReadSome read_some) {
    std::size_t got = 0;
    while (got < n) {
        const std::ptrdiff_t r = read_some(buffer + got, n - got);
        if (r == 0) break;
        if (r < 0 || std::size_t(r) > n - got) {
            const int error = r < 0 ? errno : EINVAL;
            return ByteInput::Taken{buffer, got, true, error};
        }
        got += std::size_t(r);
    }
    return ByteInput::Taken{buffer, got, false, 0};
}

class FdInput final : public ByteInput {
public:
    explicit FdInput(int fd) : fd_(fd) {}
    Taken take(std::uint8_t* buffer, std::size_t n) override {
        return fill(buffer, n, [this](std::uint8_t* at, std::size_t k) -> std::ptrdiff_t {
            for (;;) {
                const ssize_t r = ::read(fd_, at, k);
                if (r >= 0 || errno != EINTR) return r;
            }
        });
    }

private:
    int fd_;
};

class FdOutput final : public ByteOutput {
public:
    explicit FdOutput(int fd) : fd_(fd) {}
    bool put(const std::uint8_t* data, std::size_t n) override {
        while (n != 0) {
            const ssize_t r = ::write(fd_, data, n);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            data += r;
            n -= std::size_t(r);
        }
        return true;
    }

private:
    int fd_;
};

class CallbackInput final : public ByteInput {
public:
    CallbackInput(vrax_read_fn read, void* context) : read_(read), context_(context) {}
    Taken take(std::uint8_t* buffer, std::size_t n) override {
        return fill(buffer, n, [this](std::uint8_t* at, std::size_t k) {
            return read_(context_, at, k);
        });
    }

private:
    vrax_read_fn read_;
    void* context_;
};

class CallbackOutput final : public ByteOutput {
public:
    CallbackOutput(vrax_write_fn write, void* context) : write_(write), context_(context) {}
    bool put(const std::uint8_t* data, std::size_t n) override {
        return n == 0 || write_(context_, data, n) == 0;
    }

private:
    vrax_write_fn write_;
    void* context_;
};

// --- Calls ---

// The engine's result as a size or an error code, with the failure's own text.
std::size_t conclude(const EngineResult& r, bool compressing, std::size_t size,
                     const MemoryOutput* memory) {
    char text[400];
    const auto block = static_cast<unsigned long long>(r.outcome.block);
    switch (r.code) {
        case VRAX_OK:
            break;
        case VRAX_ERROR_VERIFY:
            std::snprintf(text, sizeof text,
                          "verification failed: block %llu did not decode to its input", block);
            return fail(r.code, text);
        case VRAX_ERROR_CANCELLED:
            std::snprintf(text, sizeof text, "cancelled after block %llu", block);
            return fail(r.code, text);
        default:
            return fail(r.code);
    }
    if (memory != nullptr && memory->overflowed()) {
        std::snprintf(text, sizeof text,
                      "destination buffer too small: block %llu does not fit in it", block);
        return fail(VRAX_ERROR_DST_TOO_SMALL, text);
    }
    vrax_error_code code = VRAX_OK;
    switch (r.outcome.error) {
        case StreamError::none: return size;
        case StreamError::read_failed: code = VRAX_ERROR_READ; break;
        case StreamError::write_failed: code = VRAX_ERROR_WRITE; break;
        case StreamError::truncated_length:
        case StreamError::truncated_block: code = VRAX_ERROR_TRUNCATED; break;
        case StreamError::block_too_short: code = VRAX_ERROR_CORRUPT; break;
        case StreamError::block_too_long:
        case StreamError::decoded_too_long: code = VRAX_ERROR_BLOCK_TOO_LARGE; break;
        case StreamError::malformed_block:
            code = compressing ? VRAX_ERROR_GENERIC : VRAX_ERROR_CORRUPT;
            break;
        case StreamError::codec_failed: code = VRAX_ERROR_CODEC; break;
    }
    describe_outcome(r.outcome, compressing, "format", text, sizeof text);
    return fail(code, text);
}

// Runs the engine, turning exceptions (memory) into error codes.
template <class Call>
std::size_t guarded(Call call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return fail(VRAX_ERROR_MEMORY);
    } catch (...) {
        return fail(VRAX_ERROR_GENERIC);
    }
}

// The number of records in a stream in memory, counted by their length fields up to the first
// one that cannot be right; the engine then sets up no more workers than there are records.
std::uint64_t count_records(const std::uint8_t* src, std::size_t size) {
    std::uint64_t records = 0;
    for (std::size_t at = 0; size - at >= 4;) {
        const std::uint32_t L = record_length(src + at);
        ++records;
        if (L > size - at - 4) break;
        at += 4 + std::size_t(L);
    }
    return records;
}

std::size_t one_shot(const char* format_name, std::uint16_t action, const void* src,
                     std::size_t src_size, void* dst, std::size_t dst_capacity,
                     unsigned threads) {
    const ProgramDefinition* format = find_format(format_name);
    if (format == nullptr) return fail(VRAX_ERROR_UNKNOWN_FORMAT);
    if ((src == nullptr && src_size != 0) || (dst == nullptr && dst_capacity != 0))
        return fail(VRAX_ERROR_ARGUMENT);
    const bool compressing = action == ACTION_COMPRESS;
    EngineOptions options;
    options.threads = threads;
    const std::uint64_t blocks =
        compressing ? src_size / format->block_size + (src_size % format->block_size != 0)
                    : count_records(static_cast<const std::uint8_t*>(src), src_size);
    options.blocks = std::max<std::uint64_t>(blocks, 1);
    MemoryInput in(src, src_size);
    MemoryOutput out(dst, dst_capacity);
    const EngineResult result = run_engine(*format, action, in, out, options);
    return conclude(result, compressing, out.size(), &out);
}

std::size_t streamed(const char* format_name, std::uint16_t action, ByteInput& in,
                     ByteOutput& out, const vrax_stream_options* stream_options,
                     vrax_stream_stats* stats) {
    if (stats != nullptr) *stats = vrax_stream_stats{};
    const ProgramDefinition* format = find_format(format_name);
    if (format == nullptr) return fail(VRAX_ERROR_UNKNOWN_FORMAT);
    EngineOptions options;
    if (stream_options != nullptr) {
        options.threads = stream_options->threads;
        options.verify = (stream_options->flags & VRAX_FLAG_VERIFY) != 0;
        options.progress = stream_options->progress;
        options.progress_context = stream_options->progress_context;
    }
    const EngineResult result = run_engine(*format, action, in, out, options);
    if (stats != nullptr) *stats = result.stats;
    return conclude(result, action == ACTION_COMPRESS, 0, nullptr);
}

std::size_t streamed_callbacks(const char* format, std::uint16_t action, vrax_read_fn read,
                               void* read_context, vrax_write_fn write, void* write_context,
                               const vrax_stream_options* options, vrax_stream_stats* stats) {
    if (read == nullptr || write == nullptr) {
        if (stats != nullptr) *stats = vrax_stream_stats{};
        return fail(VRAX_ERROR_ARGUMENT);
    }
    CallbackInput in(read, read_context);
    CallbackOutput out(write, write_context);
    return streamed(format, action, in, out, options, stats);
}

std::size_t streamed_fds(const char* format, std::uint16_t action, int in_fd, int out_fd,
                         const vrax_stream_options* options, vrax_stream_stats* stats) {
    FdInput in(in_fd);
    FdOutput out(out_fd);
    return streamed(format, action, in, out, options, stats);
}

}  // namespace
}  // namespace vrax::lib

using namespace vrax::lib;

#define VRAX_STRINGIFY2(x) #x
#define VRAX_STRINGIFY(x) VRAX_STRINGIFY2(x)

const char* vrax_version_string(void) {
    return VRAX_STRINGIFY(VRAX_VERSION_MAJOR) "." VRAX_STRINGIFY(VRAX_VERSION_MINOR) "." VRAX_STRINGIFY(
        VRAX_VERSION_PATCH);
}

const char* vrax_format_name(unsigned index) {
    return index < std::size(vrax::PROGRAM_TABLE) ? vrax::PROGRAM_TABLE[index].name : nullptr;
}

size_t vrax_format_block_size(const char* format) {
    const vrax::ProgramDefinition* row = find_format(format);
    return row == nullptr ? 0 : row->block_size;
}

int vrax_is_error(size_t result) { return result > error_result(VRAX_ERROR_MAX_CODE); }

vrax_error_code vrax_get_error_code(size_t result) {
    return vrax_is_error(result) ? vrax_error_code(std::size_t(0) - result) : VRAX_OK;
}

const char* vrax_error_string(size_t result) {
    if (vrax_is_error(result) && result == last_error.result) return last_error.text;
    return general_text(vrax_get_error_code(result));
}

size_t vrax_compress_bound(const char* format, size_t src_size) {
    const vrax::ProgramDefinition* row = find_format(format);
    if (row == nullptr) return 0;
    // Each record adds its length field and at most the codec's growth to its block's bytes.
    const std::size_t blocks = src_size / row->block_size + (src_size % row->block_size != 0);
    const std::size_t per_block = 4 + std::size_t(row->codec.max_growth());
    if (blocks > (SIZE_MAX - src_size) / per_block) return 0;
    const std::size_t bound = src_size + blocks * per_block;
    return vrax_is_error(bound) ? 0 : bound;
}

size_t vrax_compress(const char* format, const void* src, size_t src_size, void* dst,
                     size_t dst_capacity, unsigned threads) {
    return guarded([&] {
        return one_shot(format, ACTION_COMPRESS, src, src_size, dst, dst_capacity, threads);
    });
}

size_t vrax_decompress(const char* format, const void* src, size_t src_size, void* dst,
                       size_t dst_capacity, unsigned threads) {
    return guarded([&] {
        return one_shot(format, ACTION_DECOMPRESS, src, src_size, dst, dst_capacity,
                        threads);
    });
}

size_t vrax_compress_stream(const char* format, vrax_read_fn read, void* read_context,
                            vrax_write_fn write, void* write_context,
                            const vrax_stream_options* options, vrax_stream_stats* stats) {
    return guarded([&] {
        return streamed_callbacks(format, ACTION_COMPRESS, read, read_context, write,
                                  write_context, options, stats);
    });
}

size_t vrax_decompress_stream(const char* format, vrax_read_fn read, void* read_context,
                              vrax_write_fn write, void* write_context,
                              const vrax_stream_options* options, vrax_stream_stats* stats) {
    return guarded([&] {
        return streamed_callbacks(format, ACTION_DECOMPRESS, read, read_context, write,
                                  write_context, options, stats);
    });
}

size_t vrax_compress_fd(const char* format, int in_fd, int out_fd,
                        const vrax_stream_options* options, vrax_stream_stats* stats) {
    return guarded([&] {
        return streamed_fds(format, ACTION_COMPRESS, in_fd, out_fd, options, stats);
    });
}

size_t vrax_decompress_fd(const char* format, int in_fd, int out_fd,
                          const vrax_stream_options* options, vrax_stream_stats* stats) {
    return guarded([&] {
        return streamed_fds(format, ACTION_DECOMPRESS, in_fd, out_fd, options, stats);
    });
}
