// VRAX3's identity record and entry point.
#include "vrax3.h"

#include "entry.h"
#include "vrax3_internal.h"

const AlgorithmIdentity vrax3_identity =
    vrax::make_identity(0x032DDEA8, vrax3::WORK_SIZE, "VRAX3", "1.0", "31-Dec-1990");

CodecStatus vrax3_codec_call(std::uint16_t action, void* work_memory, const std::uint8_t* in,
                             std::uint32_t in_size, std::uint8_t* out, std::uint32_t out_cap,
                             CodecResult* result) {
    return vrax::dispatch_action(vrax3_identity, vrax3_compress, vrax3_decompress, action,
                                 work_memory, in, in_size, out, out_cap, result);
}
