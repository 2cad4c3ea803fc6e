// Everything that names a compiler or a processor: forced inlining, unrolling, prefetch, byte
// swaps, and which hand-written fast paths a build uses. Codec files test the VRAX_USE_* macros
// and never __SSE2__, __x86_64__ or a builtin themselves.
//
// A build with VRAX_PORTABLE defined (the CMake option of that name) takes the portable C++ path
// wherever a fast path exists, so that tests can prove both write the same bytes.
#pragma once

#include <cassert>
#include <cstdint>

// Forces inlining of a function or lambda that is called from several places in a hot loop, where
// a call would move its state out of registers.
#define VRAX_ALWAYS_INLINE __attribute__((always_inline))
// Keeps a rarely called function out of line, so that its code stays out of the caller's loop.
#define VRAX_NOINLINE __attribute__((noinline))

// Asks the compiler to unroll the loop that follows n times: _Pragma takes a string, and the
// macro builds it.
#define VRAX_PRAGMA(text) _Pragma(#text)
#define VRAX_UNROLL(n) VRAX_PRAGMA(GCC unroll n)

// Hides from the optimiser how an integer variable was computed, so that a decision made of several
// tests, combined into one value, stays one conditional branch instead of one branch per test.
#define VRAX_OPAQUE(variable) __asm__("" : "+r"(variable))

// Lets the optimiser rely on `condition`, which the code around it guarantees (and a debug build
// checks), such as a copy length that a three-byte test has already shown to be at least 3.
#define VRAX_ASSUME(condition)                     \
    do {                                           \
        assert(condition);                         \
        if (!(condition)) __builtin_unreachable(); \
    } while (0)

// Starts loading the cache line at p; no fault whatever p is.
#define VRAX_PREFETCH(p) __builtin_prefetch(p)

// 1 where the SSE2 vector paths are compiled, 0 for their portable counterparts.
#if defined(__SSE2__) && !defined(VRAX_PORTABLE)
#define VRAX_USE_SSE2 1
#else
#define VRAX_USE_SSE2 0
#endif

// 1 where the x86-64 inline-assembly helpers are compiled, 0 for their portable counterparts.
#if defined(__x86_64__) && !defined(VRAX_PORTABLE)
#define VRAX_USE_X86_64_ASM 1
#else
#define VRAX_USE_X86_64_ASM 0
#endif

namespace vrax {

inline std::uint32_t byte_swap(std::uint32_t x) { return __builtin_bswap32(x); }
inline std::uint64_t byte_swap(std::uint64_t x) { return __builtin_bswap64(x); }

}  // namespace vrax
