// VRAX3 decompressor: the shared item loop, rebuilding the compressor's table as it goes.
#include <cstdint>

#include "slot_table.h"
#include "vrax3.h"
#include "vrax3_internal.h"

CodecStatus vrax3_decompress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                             std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    return vrax::decompress_slot_block<vrax3::DirectSlots>(work_memory, in, in_size, out, out_cap, result);
}
