// VRAX1-A's identity record and entry point.
#include "vrax1a.h"

#include "entry.h"
#include "vrax1a_internal.h"

const AlgorithmIdentity vrax1a_identity =
    vrax::make_identity(0x4B3E387B, vrax1a::WORK_SIZE, "VRAX1-A", "1.0", "22-Jun-1991");

CodecStatus vrax1a_codec_call(std::uint16_t action, void* work_memory, const std::uint8_t* in,
                              std::uint32_t in_size, std::uint8_t* out, std::uint32_t out_cap,
                              CodecResult* result) {
    return vrax::dispatch_action(vrax1a_identity, vrax1a_compress, vrax1a_decompress, action,
                                 work_memory, in, in_size, out, out_cap, result);
}
