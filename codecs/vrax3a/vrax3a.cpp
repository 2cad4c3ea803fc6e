// VRAX3-A's identity record and entry point.
#include "vrax3a.h"

#include "entry.h"
#include "vrax3a_internal.h"

const AlgorithmIdentity vrax3a_identity = {
    0x01B90B91,           vrax3a::WORK_SIZE,          "VRAX3-A",
    "1.0",                "15-Jul-1990",              vrax::IDENTITY_COPYRIGHT,
    vrax::IDENTITY_AUTHOR, vrax::IDENTITY_AFFILIATION, vrax::IDENTITY_COPYRIGHT,
};

CodecStatus vrax3a_codec_call(std::uint16_t action, void* work_memory, const std::uint8_t* source,
                              std::uint32_t source_length, std::uint8_t* destination,
                              std::uint32_t destination_capacity, CodecResult* result) {
    return vrax::dispatch_action(vrax3a_identity, vrax3a_compress, vrax3a_decompress, action,
                                 work_memory, source, source_length, destination,
                                 destination_capacity, result);
}
