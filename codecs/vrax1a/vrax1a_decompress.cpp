// VRAX1-A decompressor: the shared item loop with offset copies; no table.
#include <cstdint>

#include "block.h"
#include "item_stream.h"
#include "offset_items.h"
#include "vrax1a.h"
#include "vrax1a_internal.h"

CodecStatus vrax1a_decompress(void*, const std::uint8_t* in, std::uint32_t in_size,
                              std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (!is_coded_block(in, in_size)) return decode_stored_block(in, in_size, out, out_cap, result);
    OffsetCopyItems<LENGTH_BIAS> items;
    return decode_items(in, in_size, out, out_cap, result, items);
}
