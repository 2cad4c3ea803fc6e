// The working memory that the caller lends a codec, as its tables see it.
#pragma once

#include <cstdint>

namespace vrax {

// The working memory as the codec uses it: from its first address that is a multiple of 4 (the
// declared sizes include the up to 3 bytes skipped).
template <class T>
T* aligned_work_memory(void* work_memory) {
    static_assert(alignof(T) <= 4);
    auto address = reinterpret_cast<std::uintptr_t>(work_memory);
    return reinterpret_cast<T*>((address + 3) & ~std::uintptr_t(3));
}

}  // namespace vrax
