// VRAX1 decompressor: the shared item loop with offset copies of length code + 1 bytes; no table.
#include <cstdint>

#include "block.h"
#include "item_stream.h"
#include "offset_items.h"
#include "vrax1.h"
#include "vrax1_internal.h"

// The shared fast loop leaves room for copies of up to MAX_ITEM_COPY bytes per item, and its wide
// copy is exact for every length from 1 up; VRAX1's copies of 1 to 16 bytes stay within both.
static_assert(vrax1::MAX_COPY <= vrax::MAX_ITEM_COPY, "decode margins assume shorter copies");

CodecStatus vrax1_decompress(void*, const std::uint8_t* in, std::uint32_t in_size,
                             std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (!is_coded_block(in, in_size)) return decode_stored_block(in, in_size, out, out_cap, result);
    OffsetCopyItems<vrax1::LENGTH_BIAS> items;
    return decode_items(in, in_size, out, out_cap, result, items);
}
