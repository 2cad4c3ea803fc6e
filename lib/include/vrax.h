/* libvrax: the VRAX stream format as a library, with blocks coded on every core.
 *
 * A stream is a sequence of records, each a 4-byte big-endian length L and one compressed block
 * of L bytes, with no header and no checksum; it does not say which format wrote it. A format is
 * one of the nine program names ("vrax1", "vrax1a", "vrax2", "vrax3", "vrax3-64k", "vrax3a",
 * "vrax3a-16m", "vrax3a-256m", "vrax5"): an algorithm and the block size it reads its input in.
 * The bytes this library writes are the bytes the program of the same name writes, for every
 * thread count, and a stream is read back with a format of the same algorithm whose block size is
 * at least as large.
 *
 * Threads: `threads == 0` means every online core, lowered where needed so that the block buffers
 * stay within min(1 GiB, a quarter of physical memory); a count the caller names is used as given.
 * Blocks travel in batches of consecutive blocks: as many as fill 1 MiB of input (16 for the
 * 64 KiB formats), or one block in the formats of 1 MiB and more. At most threads + 2 batches are
 * in flight, each holding two buffers of (block size + 1 KiB) per block, so a call holds about
 * (threads + 2) * 2 * blocks per batch * (block size + 1 KiB) bytes of buffers: at 2 threads,
 * 8,519,680 for a 64 KiB format, 8,396,800 for a 1 MiB format and 2 GiB for "vrax3a-256m". Each
 * worker adds its few KiB of working memory (VRAX5: 768 KiB). VRAX1-A's compressor carries its
 * table from
 * block to block, so "vrax1a" compresses on one worker; its reading and writing still overlap
 * the codec.
 *
 * Results: every call that returns size_t returns either a size or an error code; test it with
 * vrax_is_error() and describe it with vrax_error_string(). No call writes past the capacity it is
 * given or reads past the input, whatever the input holds.
 *
 * Usable from C99 and through any FFI. Every function is safe to call from several threads at
 * once on different buffers. */
#ifndef VRAX_H
#define VRAX_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && defined(VRAX_SHARED_BUILD)
#define VRAX_API __declspec(dllexport)
#elif defined(__GNUC__)
#define VRAX_API __attribute__((visibility("default")))
#else
#define VRAX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define VRAX_VERSION_MAJOR 1
#define VRAX_VERSION_MINOR 0
#define VRAX_VERSION_PATCH 0
#define VRAX_VERSION_NUMBER \
    (VRAX_VERSION_MAJOR * 10000 + VRAX_VERSION_MINOR * 100 + VRAX_VERSION_PATCH)

/* "1.0.0": the version of the library that is linked, which may differ from the header's. */
VRAX_API const char *vrax_version_string(void);

/* The formats by index, from 0: "vrax1", "vrax1a", ... "vrax5". NULL past the last one. */
VRAX_API const char *vrax_format_name(unsigned index);

/* The most input bytes one block of `format` covers (its block size); 0 for an unknown format. */
VRAX_API size_t vrax_format_block_size(const char *format);

/* ---- Errors ------------------------------------------------------------------------------- */

typedef enum vrax_error_code {
    VRAX_OK = 0,
    VRAX_ERROR_GENERIC = 1,           /* an internal error: a codec broke its contract */
    VRAX_ERROR_UNKNOWN_FORMAT = 2,    /* the format is not one of the nine names (or NULL) */
    VRAX_ERROR_ARGUMENT = 3,          /* a NULL buffer with a nonzero size, or a NULL callback */
    VRAX_ERROR_DST_TOO_SMALL = 4,     /* the result does not fit in dst_capacity */
    VRAX_ERROR_TRUNCATED = 5,         /* the stream ends inside a record */
    VRAX_ERROR_CORRUPT = 6,           /* a record that this format never writes */
    VRAX_ERROR_BLOCK_TOO_LARGE = 7,   /* a block longer than the format's buffers, or one that
                                         decodes to more: perhaps a format with larger blocks */
    VRAX_ERROR_CODEC = 8,             /* the codec's own failure (VRAX5: "Ran out of nodes.") */
    VRAX_ERROR_READ = 9,              /* the read callback or descriptor failed */
    VRAX_ERROR_WRITE = 10,            /* the write callback or descriptor failed */
    VRAX_ERROR_MEMORY = 11,           /* memory could not be obtained */
    VRAX_ERROR_THREADS = 12,          /* a worker thread could not be started */
    VRAX_ERROR_VERIFY = 13,           /* VRAX_FLAG_VERIFY: a block did not decode to its input */
    VRAX_ERROR_CANCELLED = 14,        /* the progress callback asked to stop */
    VRAX_ERROR_MAX_CODE = 15
} vrax_error_code;

/* Nonzero when `result` is an error code rather than a size. */
VRAX_API int vrax_is_error(size_t result);

/* The error code in `result`, or VRAX_OK when `result` is a size. */
VRAX_API vrax_error_code vrax_get_error_code(size_t result);

/* A one-line description of `result`, never NULL. When `result` is what the calling thread's most
 * recent failing vrax_ call returned, the text is that failure's own, with its details (the
 * block number, the reason a read failed); otherwise it is the general text for the code. The
 * text stays valid until the calling thread's next vrax_ call. */
VRAX_API const char *vrax_error_string(size_t result);

/* ---- One-shot calls on memory ------------------------------------------------------------- */

/* The largest stream that vrax_compress() can write for `src_size` input bytes in `format`, or 0
 * for an unknown format (or a size whose bound does not fit in size_t). */
VRAX_API size_t vrax_compress_bound(const char *format, size_t src_size);

/* Compresses `src_size` bytes at `src` into a stream at `dst`. Returns the stream's size, or an
 * error code: VRAX_ERROR_UNKNOWN_FORMAT, VRAX_ERROR_DST_TOO_SMALL when the stream would pass
 * `dst_capacity` (a capacity of vrax_compress_bound() always suffices), and the memory, thread
 * and codec failures. An empty input gives an empty stream. */
VRAX_API size_t vrax_compress(const char *format, const void *src, size_t src_size, void *dst,
                              size_t dst_capacity, unsigned threads);

/* Decompresses the stream of `src_size` bytes at `src` into `dst`. Returns the decoded size, or an
 * error code: VRAX_ERROR_UNKNOWN_FORMAT, VRAX_ERROR_DST_TOO_SMALL when the decoded bytes would
 * pass `dst_capacity`, VRAX_ERROR_TRUNCATED, VRAX_ERROR_CORRUPT and VRAX_ERROR_BLOCK_TOO_LARGE for
 * a damaged stream or one of a format with larger blocks. Nothing is written past `dst_capacity`;
 * after an error, `dst` holds the decoded bytes of the records before the failing one. */
VRAX_API size_t vrax_decompress(const char *format, const void *src, size_t src_size, void *dst,
                                size_t dst_capacity, unsigned threads);

/* ---- Streaming calls, for data that need not fit in memory -------------------------------- */

/* Reads up to `capacity` bytes into `buffer`. Returns the number read, 0 only at the end of the
 * input, or -1 on an error (leave errno set to say why). Called from one thread at a time. */
typedef ptrdiff_t (*vrax_read_fn)(void *context, void *buffer, size_t capacity);

/* Writes all `size` bytes. Returns 0, or -1 on an error (leave errno set). Called from one thread
 * at a time, with the output in order. */
typedef int (*vrax_write_fn)(void *context, const void *data, size_t size);

/* Called after each record is written, with the totals so far: bytes read and written. Return 0
 * to go on, nonzero to stop the call with VRAX_ERROR_CANCELLED. Called from the writing thread. */
typedef int (*vrax_progress_fn)(void *context, uint64_t bytes_read, uint64_t bytes_written);

#define VRAX_FLAG_VERIFY 1u /* compression: decode each block and compare it with its input
                               before it is written; a mismatch is VRAX_ERROR_VERIFY */

typedef struct vrax_stream_options {
    unsigned threads;          /* 0: every online core, within the memory budget */
    unsigned flags;            /* VRAX_FLAG_* */
    vrax_progress_fn progress; /* may be NULL */
    void *progress_context;
} vrax_stream_options;

typedef struct vrax_stream_stats {
    uint64_t records;       /* records written (compression) or read (decompression) */
    uint64_t bytes_read;    /* bytes taken from the input */
    uint64_t bytes_written; /* bytes given to the output */
} vrax_stream_stats;

/* Compress or decompress everything that `read` yields, giving the result to `write` in order.
 * `options` may be NULL (all cores, no flags, no progress), and so may `stats`, which is filled
 * in on success and on failure alike. Returns 0 on success or an error code. On a failure every
 * worker stops and nothing is written after the last good record. */
VRAX_API size_t vrax_compress_stream(const char *format, vrax_read_fn read, void *read_context,
                                     vrax_write_fn write, void *write_context,
                                     const vrax_stream_options *options, vrax_stream_stats *stats);
VRAX_API size_t vrax_decompress_stream(const char *format, vrax_read_fn read, void *read_context,
                                       vrax_write_fn write, void *write_context,
                                       const vrax_stream_options *options,
                                       vrax_stream_stats *stats);

/* The same on open file descriptors (POSIX), read and written from their current positions; a
 * descriptor is neither closed nor synced. Interrupted reads and writes are retried. */
VRAX_API size_t vrax_compress_fd(const char *format, int in_fd, int out_fd,
                                 const vrax_stream_options *options, vrax_stream_stats *stats);
VRAX_API size_t vrax_decompress_fd(const char *format, int in_fd, int out_fd,
                                   const vrax_stream_options *options, vrax_stream_stats *stats);

#ifdef __cplusplus
}
#endif

#endif /* VRAX_H */
