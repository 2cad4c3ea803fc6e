// VRAX3-A decompressor: the shared item loop, rebuilding the compressor's table as it goes.
#include <cstdint>

#include "entry.h"
#include "item_stream.h"
#include "slot_table.h"
#include "vrax3a.h"
#include "vrax3a_internal.h"

CodecStatus vrax3a_decompress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                              std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (!is_coded_block(in, in_size)) return decode_stored_block(in, in_size, out, out_cap, result);
    vrax3a::WaySets table{aligned_work_memory<std::uint32_t>(work_memory)};
    fill_slot_table(table.slots);
    SlotCopyItems<vrax3a::WaySets> items(table);
    return decode_items(in, in_size, out, out_cap, result, items);
}
