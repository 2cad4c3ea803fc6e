// VRAX3-A's identity record and entry point.
#include "vrax3a.h"

#include "entry.h"
#include "vrax3a_internal.h"

const AlgorithmIdentity vrax3a_identity =
    vrax::make_identity(0x01B90B91, vrax3a::WORK_SIZE, "VRAX3-A", "1.0", "15-Jul-1990");

CodecStatus vrax3a_codec_call(std::uint16_t action, void* work_memory, const std::uint8_t* in,
                              std::uint32_t in_size, std::uint8_t* out, std::uint32_t out_cap,
                              CodecResult* result) {
    return vrax::dispatch_action(vrax3a_identity, vrax3a_compress, vrax3a_decompress, action,
                                 work_memory, in, in_size, out, out_cap, result);
}
