// VRAX3-A decompressor: the shared item loop, rebuilding the compressor's table as it goes.
#include <cstdint>

#include "slot_table.h"
#include "vrax3a.h"
#include "vrax3a_internal.h"

CodecStatus vrax3a_decompress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                              std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    return vrax::decompress_slot_block<vrax3a::WaySets>(work_memory, in, in_size, out, out_cap, result);
}
