// VRAX2's identity record and entry point.
#include "vrax2.h"

#include "entry.h"
#include "vrax2_internal.h"

const AlgorithmIdentity vrax2_identity =
    vrax::make_identity(0x3D8F733A, vrax2::WORK_SIZE, "VRAX2", "1.0", "25-Nov-1990");

CodecStatus vrax2_codec_call(std::uint16_t action, void* work_memory, const std::uint8_t* in,
                             std::uint32_t in_size, std::uint8_t* out, std::uint32_t out_cap,
                             CodecResult* result) {
    return vrax::dispatch_action(vrax2_identity, vrax2_compress, vrax2_decompress, action,
                                 work_memory, in, in_size, out, out_cap, result);
}
