// VRAX5's identity record and entry point.
#include "vrax5.h"

#include "entry.h"
#include "vrax5_internal.h"

const AlgorithmIdentity vrax5_identity =
    vrax::make_identity(0x4A619944, vrax5::WORK_SIZE, "VRAX5", "1.0", "17-Jul-1990");

CodecStatus vrax5_codec_call(std::uint16_t action, void* work_memory, const std::uint8_t* in,
                             std::uint32_t in_size, std::uint8_t* out, std::uint32_t out_cap,
                             CodecResult* result) {
    return vrax::dispatch_action(vrax5_identity, vrax5_compress, vrax5_decompress, action,
                                 work_memory, in, in_size, out, out_cap, result);
}
